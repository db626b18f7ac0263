#include "shell/prediction.h"

namespace {

constexpr Game::Color BLACK{0, 0, 0};
constexpr Game::Color WHITE{255, 255, 255};
constexpr Game::Color BLUE{0, 0, 255};
constexpr int ME = 1;
// Presses no frame has answered for so long are not the host's any more (its match may
// have ended): only so many are kept.
constexpr std::size_t MOST_PENDING = 64;

Computer::Cells grid_of(const Frame& frame) {
    Computer::Cells cells{};
    for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i] = frame.at(static_cast<int>(i % Bout::SIZE), static_cast<int>(i / Bout::SIZE));
    }
    return cells;
}

void paint(Frame& frame, const Bout::Fighter& fighter, Game::Color body, Game::Color blade) {
    const auto cell = [&frame](int x, int y) -> Game::Color& {
        return frame
            .cells[static_cast<std::size_t>(y) * Frame::COLUMNS + static_cast<std::size_t>(x + 1)];
    };
    cell(fighter.x, fighter.y) = body;
    int x = 0;
    int y = 0;
    if (fighter.tip(x, y) && Bout::on_grid(x, y)) {
        cell(x, y) = blade;
    }
}

}  // namespace

void Prediction::press(Uint32 number, Game::Button way, Uint32 at) {
    // It counts as the host's duel would count it: not inside the re-arm of the last
    // press that counted, nor into an edge.
    Bout bout{};
    const bool rearmed = !counted || at - counted_at >= Bout::REARM_MS;
    const bool counts = rearmed && ahead(bout) && !bout.blocked(ME, way);
    if (counts) {
        counted = true;
        counted_at = at;
    }
    pending.push_back(Pending{number, way, counts});
    if (pending.size() > MOST_PENDING) {
        pending.pop_front();
    }
}

void Prediction::frame(const Frame& from_host, Uint32 taken) {
    Bout before{};
    const bool foreseen = !pending.empty() && ahead(before);
    host = from_host;
    known = Computer::look(grid_of(host), known);
    while (!pending.empty() && pending.front().number <= taken) {
        pending.pop_front();
    }
    Bout now{};
    if (foreseen && ahead(now) && !(now.fighters[ME] == before.fighters[ME])) {
        ++corrections;
    }
}

bool Prediction::ahead(Bout& bout) const {
    // A blade off the grid is where the host last showed it, which this page may not
    // know: nothing is foreseen until it is back.
    if (!known.found || known.me.way == Bout::UNSEEN) {
        return false;
    }
    bout = Bout{{known.foe, known.me}};
    for (const Pending& press : pending) {
        if (!press.counts || bout.blocked(ME, press.way)) {
            continue;
        }
        Bout next = bout;
        const Bout::Outcome outcome = next.press(ME, press.way);
        if (outcome.clash || outcome.hits[0] != Bout::NOBODY) {
            break;  // what follows is the host's to show
        }
        bout = next;
    }
    return true;
}

Frame Prediction::shown() const {
    Frame out = host;
    Bout bout{};
    if (pending.empty() || !ahead(bout) || bout.fighters[ME] == known.me) {
        return out;
    }
    paint(out, known.me, BLACK, BLACK);
    paint(out, bout.fighters[ME], WHITE, BLUE);
    return out;
}
