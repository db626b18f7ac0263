#include "games/duel/computer.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::size_t REMEMBERED = 8;  // presses it remembers, to see it goes in circles
constexpr int NONE = Bout::UNSEEN;
constexpr int WAYS = 4;
constexpr const int* DX = Bout::DX;
constexpr const int* DY = Bout::DY;
// The computer plays player 1; the look-ahead moves both.
constexpr int ME = 1;
constexpr int FOE = 0;

constexpr int FAR = 100;  // farther than any way across the grid

// The next round's result moves the reaction this far, less each round, down to the last.
constexpr Uint32 FIRST_STEP_MS = 120;
constexpr Uint32 KEPT_STEP_MS = 50;  // a level kept from an earlier match has settled
constexpr Uint32 LAST_STEP_MS = 30;
// In the first rounds against a player not met before, how long a round lasted, in the
// computer's reaction times, tells how far its level is from the even one: a round over
// this soon was no contest, and the step grows two and a half times; one this long was
// nearly even, and the step halves.
constexpr int SEARCH_ROUNDS = 3;
constexpr Uint32 QUICK_ROUND = 5;
constexpr Uint32 LONG_ROUND = 12;

using Fighter = Bout::Fighter;

bool same(const Game::Color& a, const Game::Color& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool same(const Computer::Cells& a, const Computer::Cells& b) {
    return std::equal(a.begin(), a.end(), b.begin(),
                      [](const Game::Color& p, const Game::Color& q) { return same(p, q); });
}

// Presses the attacker needs, the defender standing still, to put its blade on the
// defender's body: to a cell beside it, facing it. Clashes aside; the cell under the
// defender's blade is no way in, as stepping there loses.
int presses_to_hit(const Fighter& a, const Fighter& d) {
    int dtx = 0;
    int dty = 0;
    const bool armed = d.tip(dtx, dty);
    int best = FAR;
    for (int face = 0; face < WAYS; ++face) {
        const int tx = d.x - DX[face];
        const int ty = d.y - DY[face];
        if (!Bout::on_grid(tx, ty) || (armed && tx == dtx && ty == dty)) {
            continue;
        }
        const int dx = tx - a.x;
        const int dy = ty - a.y;
        const int across = dx > 0 ? Game::RIGHT : Game::LEFT;
        const int along = dy > 0 ? Game::DOWN : Game::UP;
        const int steps = std::abs(dx) + std::abs(dy);
        const auto turn = [](int from, int to) { return from == to ? 0 : 1; };
        int turns = 0;
        if (dx == 0 && dy == 0) {
            turns = turn(a.way, face);
        } else if (dy == 0) {
            turns = turn(a.way, across) + turn(across, face);
        } else if (dx == 0) {
            turns = turn(a.way, along) + turn(along, face);
        } else {
            turns = 1 + std::min(turn(a.way, across) + turn(along, face),
                                 turn(a.way, along) + turn(across, face));
        }
        best = std::min(best, steps + turns);
    }
    return best;
}

// Whether the foe, pressing next, can hit the computer with that one press.
bool foe_can_hit(const Bout& b) {
    for (int way = 0; way < WAYS; ++way) {
        Bout next = b;
        if (next.press(FOE, way).hits[0] == FOE) {
            return true;
        }
    }
    return false;
}

}  // namespace

Computer::Computer(Uint32 reaction)
    : reaction_ms(std::clamp(reaction == 0 ? START_MS : reaction, FASTEST_MS, SLOWEST_MS)),
      step_ms(reaction == 0 ? FIRST_STEP_MS : KEPT_STEP_MS),
      searching(reaction == 0 ? SEARCH_ROUNDS : 0) {}

std::vector<Press> Computer::decide(const Cells& cells, Uint32 now) {
    if (seen.empty() || !same(cells, seen.back().cells)) {
        seen.push_back({now, ++frames, cells});
        if (!round_shown && picture::look(cells, known).found) {
            round_shown = true;  // the round's first frame with both fighters
            round_from = now;
        }
    }
    // It acts on the newest frame that has been on screen for a reaction time, which
    // wavers a little from press to press, as a person's does, never below its level.
    const Uint32 lag = reaction_ms + wobble;
    while (seen.size() > 1 && now - seen[1].at >= lag) {
        seen.pop_front();
    }
    const View& view = seen.front();
    const Uint32 later = seen.size() > 1 ? seen[1].at + lag : 0;
    next_look = 0;
    if (now - view.at < lag) {
        next_look = view.at + lag;
        return {};
    }
    // A quick player presses in quick succession, a slow one hesitates between presses.
    const Uint32 gap = std::max(PRESS_GAP_MS, reaction_ms - PRESS_GAP_MS);
    if (!presses.empty() && now - presses.back().at < gap) {
        next_look = presses.back().at + gap;
        return {};
    }
    // Its presses that the frame it acts on already shows are known from the frame; so
    // is one the game dropped, once the frames after it would have shown it.
    while (!presses.empty() &&
           (view.number > presses.front().frame || now - presses.front().at >= 2 * lag)) {
        presses.pop_front();
    }
    Sight sight = picture::look(view.cells, known);
    if (!sight.found) {
        next_look = later;
        return {};
    }
    known = sight;
    // Where its own presses since then have put it, it knows without seeing, as a player
    // does; what they did to the foe it learns from the grid.
    if (!presses.empty()) {
        sight.me = presses.back().then;
    }
    // A grid that has not changed for two reaction times: a foe that waits for the
    // computer to come, or one that plays no more. Either way waiting wins nothing.
    const bool still = seen.size() == 1 && presses.empty() && now - view.at >= 2 * reaction_ms;
    // A sight it has pressed from before, which came back: the foe answers that press in
    // a way that leads round in a circle, so it tries another.
    unsigned spent = 0;
    for (const auto& [then, press] : tried) {
        spent |= then == sight ? 1U << press : 0U;
    }
    const int way = choose(sight, still || spent != 0, spent);
    if (way == NONE) {
        next_look = later != 0 ? later : view.at + 2 * reaction_ms;
        return {};
    }
    Bout after = sight.bout();
    after.press(ME, way);
    presses.push_back({now, seen.back().number, after.fighters[ME]});
    tried.emplace_back(sight, way);
    if (tried.size() > REMEMBERED) {
        tried.pop_front();
    }
    waver = waver * 1103515245U + 12345U;  // the same wavering in every match
    wobble = (waver >> 16) % (reaction_ms / 4 + 1);
    next_look = now + gap;
    const auto button = static_cast<Game::Button>(way);
    return {{ME, button, true, Press::From::COMPUTER}, {ME, button, false, Press::From::COMPUTER}};
}

void Computer::round_over(int code) {
    if (code != 1 && code != -1) {
        return;
    }
    // Winning, it takes longer to react; losing, less: a staircase to the even level.
    Uint32 step = step_ms;
    if (searching > 0) {
        --searching;
        // Rounds end on the frame of the hit, the last one shown.
        const Uint32 lasted = round_shown ? seen.back().at - round_from : 0;
        if (round_shown && lasted <= QUICK_ROUND * reaction_ms) {
            step = step * 5 / 2;
        } else if (round_shown && lasted >= LONG_ROUND * reaction_ms) {
            step /= 2;
        }
    }
    round_shown = false;
    // The next round's start, seen again, is no circle the foe leads it round.
    tried.clear();
    const Sint32 moved =
        static_cast<Sint32>(reaction_ms) + (code == 1 ? 1 : -1) * static_cast<Sint32>(step);
    reaction_ms = static_cast<Uint32>(std::clamp<Sint32>(moved, FASTEST_MS, SLOWEST_MS));
    step_ms = std::max(LAST_STEP_MS, step_ms * 3 / 4);
}

int Computer::choose(const Sight& sight, bool bold, unsigned spent) {
    const Bout now = sight.bout();
    // What a choice leads to, least first: whether the foe can then hit with one press,
    // how many presses the computer's own hit still needs, how few the foe's needs, and
    // a press before waiting only when it gains something.
    struct Outlook {
        int danger;
        int left;
        int foe_left;
        bool operator<(const Outlook& o) const {
            return danger != o.danger ? danger < o.danger
                   : left != o.left   ? left < o.left
                                      : foe_left > o.foe_left;
        }
    };
    const auto outlook = [](const Bout& b) {
        const Fighter& me = b.fighters[ME];
        const Fighter& foe = b.fighters[FOE];
        const int left = presses_to_hit(me, foe);
        // A foe one press from a hit is a danger, unless the computer is too: then it is
        // a race, which the quicker wins.
        return Outlook{left > 1 && foe_can_hit(b) ? 1 : 0, left, presses_to_hit(foe, me)};
    };
    int best = NONE;
    Outlook best_outlook{2, 0, 0};  // worse than any press
    if (!bold) {
        best_outlook = outlook(now);
    }
    for (int way = 0; way < WAYS; ++way) {
        if (now.blocked(ME, way) || (spent & (1U << way)) != 0) {
            continue;  // the edge it stands on drops the press; or it led round in a circle
        }
        Bout next = now;
        const int first_hit = next.press(ME, way).hits[0];
        if (first_hit == ME) {
            return way;  // a hit
        }
        const Outlook seen = first_hit == FOE ? Outlook{2, FAR, 0} : outlook(next);
        if (seen < best_outlook) {
            best = way;
            best_outlook = seen;
        }
    }
    return best;
}
