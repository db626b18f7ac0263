// The computer opponent: its choices from given grids, and whole matches against the real
// duel on a simulated clock. This executable is linked with SDL_Delay, SDL_AddTimer,
// SDL_RemoveTimer and SDL_GetTicks wrapped, so the duel's start pause and its 50 ms
// re-arm run on the simulated clock, and a match of minutes takes milliseconds.
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "games/duel/computer.h"
#include "games/duel/gamejedi.h"
#include "input.h"
#include "shell/events.h"

namespace {

// ---- the simulated clock and SDL's timers on it ----
struct Alarm {
    Uint32 due;
    SDL_NewTimerCallback callback;
    void* param;
    bool live;
};
Uint32 sim_now = 0;
std::map<std::uintptr_t, Alarm> alarms;
std::uintptr_t next_alarm = 1;

void advance(Uint32 ms) {
    for (const Uint32 end = sim_now + ms; sim_now < end;) {
        ++sim_now;
        for (auto it = alarms.begin(); it != alarms.end();) {
            Alarm& alarm = it->second;
            if (alarm.live && alarm.due <= sim_now) {
                const Uint32 again = alarm.callback(0, alarm.param);
                alarm.due = sim_now + again;
                alarm.live = alarm.live && again != 0;
            }
            it = alarm.live ? std::next(it) : alarms.erase(it);
        }
    }
}

}  // namespace

extern "C" {
void __wrap_SDL_Delay(Uint32 ms) {  // NOLINT(readability-identifier-naming)
    advance(ms);
}
Uint32 __wrap_SDL_GetTicks() {  // NOLINT(readability-identifier-naming)
    return sim_now;
}
SDL_TimerID __wrap_SDL_AddTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    const std::uintptr_t id = next_alarm++;
    alarms[id] = {sim_now + interval, callback, param, true};
    return reinterpret_cast<SDL_TimerID>(id);  // NOLINT(performance-no-int-to-ptr)
}
SDL_bool __wrap_SDL_RemoveTimer(SDL_TimerID timer) {
    const auto found = alarms.find(reinterpret_cast<std::uintptr_t>(timer));
    if (found == alarms.end() || !found->second.live) {
        return SDL_FALSE;
    }
    found->second.live = false;
    return SDL_TRUE;
}
}

namespace {

using Cells = Computer::Cells;
using picture::BLADE;
using picture::WHITE;

// A grid from rows of text: 'W' a body, 'R' player 0's blade, 'B' the computer's.
Cells grid(const std::array<const char*, 9>& rows) {
    Cells cells{};
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 9; ++x) {
            const char c = rows[static_cast<std::size_t>(y)][x];
            Game::Color& cell = cells[static_cast<std::size_t>(x + y * 9)];
            cell = c == 'W' ? WHITE : c == 'R' ? BLADE[0] : c == 'B' ? BLADE[1] : picture::BLACK;
        }
    }
    return cells;
}

constexpr SDLKey ARROWS[] = {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT};

// The computer's presses as the keys player 1 would press for them.
std::vector<SDL_Event> keys_of(const std::vector<Press>& presses) {
    std::vector<SDL_Event> keys;
    for (const Press& press : presses) {
        keys.push_back(input::key_event(press.down ? SDL_KEYDOWN : SDL_KEYUP, ARROWS[press.way]));
    }
    return keys;
}

// The arrow the computer presses at `now` for a grid it has watched for a while, or 0.
SDLKey pressed_on(const Cells& cells) {
    Computer computer(Computer::FASTEST_MS);
    computer.decide(cells, 1000);
    const std::vector<Press> presses = computer.decide(cells, 1000 + Computer::FASTEST_MS);
    if (presses.empty()) {
        return SDLK_UNKNOWN;
    }
    // A press and its release, both player 1's, both the computer's.
    EXPECT_EQ(presses.size(), 2U);
    for (const Press& press : presses) {
        EXPECT_EQ(press.player, 1);
        EXPECT_EQ(press.from, Press::From::COMPUTER);
        EXPECT_EQ(press.way, presses[0].way);
    }
    EXPECT_TRUE(presses[0].down);
    EXPECT_FALSE(presses[1].down);
    return ARROWS[presses[0].way];
}

TEST(ComputerChoice, StepsTowardTheFoeTurnsAwayFromLosingAndNeverPressesIntoItsEdge) {
    // The round's start: it steps toward the foe, its blade leading.
    EXPECT_EQ(pressed_on(grid({".........", ".........", ".........", ".........", ".WR...BW.",
                               ".........", ".........", ".........", "........."})),
              SDLK_LEFT);
    // The foe one step from a hit on its back: it turns its blade into the foe's tip, and
    // the clash flips the foe's blade away, rather than wait or turn elsewhere and lose.
    EXPECT_EQ(pressed_on(grid({".........", ".........", ".........", ".........", "....WRWB.",
                               ".........", ".........", ".........", "........."})),
              SDLK_LEFT);
    // A turn wins: the foe's body is beside it, the blade points away.
    EXPECT_EQ(pressed_on(grid({".........", ".........", ".........", "....B....", "..RWW....",
                               ".........", ".........", ".........", "........."})),
              SDLK_LEFT);
    // At the right edge with the foe far to the left and above: it never presses right,
    // the edge it stands on, whatever it does.
    for (const char* row : {"......BW.", "........W"}) {
        const Cells cells = grid({".WR......", ".........", ".........", ".........", row,
                                  ".........", ".........", ".........", "........."});
        EXPECT_NE(pressed_on(cells), SDLK_RIGHT) << row;
    }
    // Not a duel (the game-over screen's green): nothing to press.
    Cells green{};
    green.fill({0, 255, 0});
    EXPECT_EQ(pressed_on(green), SDLK_UNKNOWN);
}

TEST(ComputerChoice, ReactsNoFasterThanItsFloorAndPressesAtMost10ASecond) {
    Computer computer(1);  // asked for faster than fair: held to its floor
    EXPECT_EQ(computer.reaction(), Computer::FASTEST_MS);
    const Cells start = grid({".........", ".........", ".........", ".........", ".WR...BW.",
                              ".........", ".........", ".........", "........."});
    const Cells stepped = grid({".........", ".........", ".........", ".........", ".WR..BW..",
                                ".........", ".........", ".........", "........."});
    // Watched every millisecond from the frame's first showing: no press before 150 ms.
    Uint32 first = 0;
    std::vector<Uint32> presses;
    bool moved = false;
    for (Uint32 now = 5000; now < 7000; ++now) {
        if (!computer.decide(moved ? stepped : start, now).empty()) {
            presses.push_back(now);
            if (first == 0) {
                first = now;
            }
            moved = !moved;  // the grid shows the press at once, as the duel does
        }
    }
    ASSERT_FALSE(presses.empty());
    EXPECT_EQ(first, 5000 + Computer::FASTEST_MS);
    for (std::size_t i = 1; i < presses.size(); ++i) {
        EXPECT_GE(presses[i] - presses[i - 1], Computer::PRESS_GAP_MS);
    }
    // It says when it next wants to look, so no one has to ask it every millisecond.
    Computer waiting;
    EXPECT_TRUE(waiting.decide(start, 100).empty());
    EXPECT_EQ(waiting.due(), 100 + Computer::START_MS);
    // A level kept from before is held within bounds; a round nobody won teaches nothing.
    Computer kept(Computer::SLOWEST_MS + 500);
    kept.round_over(0);
    EXPECT_EQ(kept.reaction(), Computer::SLOWEST_MS);
}

// ---- whole matches on the simulated clock ----

// Player 0 as the tests script it, with a reaction of its own and a plainer way than the
// computer's: go for the foe along the longer way, turn to it when beside it, no caution.
class Scripted {
  public:
    Scripted(Uint32 reaction, unsigned seed) : reaction(reaction), random(seed) {}

    // The key (w a s d) it presses at `now`, having seen `cells` then, or none.
    SDLKey act(const Cells& cells, Uint32 now) {
        if (reaction == 0) {
            return SDLK_UNKNOWN;  // presses nothing at all
        }
        if (seen.empty() || std::memcmp(&cells, &seen.back().second, sizeof cells) != 0) {
            seen.emplace_back(now, cells);
        }
        while (seen.size() > 1 && now - seen[1].first >= reaction) {
            seen.pop_front();
        }
        if (now - seen.front().first < reaction || now - last < reaction ||
            (pressed && seen.front().first < last && now - last < 2 * reaction)) {
            return SDLK_UNKNOWN;
        }
        // Its own fighter is the red one: seen through the computer's eyes with the
        // blades' colours swapped.
        Cells mirrored = seen.front().second;
        for (Game::Color& c : mirrored) {
            std::swap(c.r, c.b);
        }
        const picture::Sight sight = picture::look(mirrored, {});
        if (!sight.found) {
            return SDLK_UNKNOWN;
        }
        const int dx = sight.foe.x - sight.me.x;
        const int dy = sight.foe.y - sight.me.y;
        int way = 0;
        if (std::abs(dx) + std::abs(dy) == 1) {
            way = dx < 0 ? Game::LEFT : dx > 0 ? Game::RIGHT : dy < 0 ? Game::UP : Game::DOWN;
        } else if (std::abs(dx) + std::abs(dy) > 3 && random() % 5 == 0) {
            way = static_cast<int>(random() % 4);  // a feint from afar
        } else {
            // Mostly the longer way; now and then the other, as people do.
            const bool longer =
                std::abs(dx) > std::abs(dy) || (std::abs(dx) == std::abs(dy) && random() % 2 == 0);
            const bool across = dy == 0 || (dx != 0 && (random() % 4 == 0 ? !longer : longer));
            way = across ? (dx < 0 ? Game::LEFT : Game::RIGHT) : (dy < 0 ? Game::UP : Game::DOWN);
        }
        last = now;
        pressed = true;
        constexpr SDLKey KEYS[] = {SDLK_w, SDLK_s, SDLK_a, SDLK_d};
        return KEYS[way];
    }

  private:
    Uint32 reaction;
    std::minstd_rand random;
    std::deque<std::pair<Uint32, Cells>> seen;
    Uint32 last = 0;
    bool pressed = false;
};

struct Tally {
    int computer = 0;  // rounds won
    int player = 0;
    int matches = 0;
    Uint32 longest_round = 0;
    std::vector<Uint32> reactions;  // the computer's after each round of the first match
};

class ComputerMatch : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024), 0) << SDL_GetError();
    }
    static void TearDownTestSuite() {
        Mix_CloseAudio();
        SDL_Quit();
    }

    Cells cells() const {
        Cells now{};
        for (unsigned i = 0; i < now.size(); ++i) {
            now[i] = duel.get_pixel(i % 9, i / 9);
        }
        return now;
    }

    // One match to 9: the duel, the computer and the scripted player, with the frames
    // composed where the game posts them, every key through the duel's key mapping.
    // `learn`: whether each round's result moves the computer's level, as in the game.
    // Returns the match's score: [0] the player's, [1] the computer's.
    std::array<int, 2> play(Scripted& player, Computer& computer, unsigned seed, Tally& tally,
                            bool first, bool learn = true) {
        std::srand(seed);
        std::array<int, 2> score{0, 0};
        Cells shown{};
        const auto press = [&](const std::vector<SDL_Event>& keys) {
            for (const SDL_Event& key : keys) {
                duel.input(key);
            }
        };
        const auto computer_presses = [&](const std::vector<Press>& presses) {
            press(keys_of(presses));
        };
        duel.run();
        Uint32 round_start = sim_now;
        while (score[0] < 9 && score[1] < 9) {
            advance(1);
            SDL_Event event;
            int code = 0;
            while (SDL_PollEvent(&event) == 1) {
                if (event.type == BR_RENDER) {
                    shown = cells();
                    computer_presses(computer.decide(shown, sim_now));
                } else if (event.type == BR_GAMEOVER && code == 0) {
                    code = event.user.code;
                }
            }
            if (code != 0) {
                ++score[code == 1 ? 1 : 0];
                if (learn) {
                    computer.round_over(code);
                }
                tally.longest_round = std::max(tally.longest_round, sim_now - round_start);
                if (first) {
                    tally.reactions.push_back(computer.reaction());
                }
                (code == 1 ? tally.computer : tally.player) += 1;
                if (score[0] < 9 && score[1] < 9) {
                    duel.run();
                    round_start = sim_now;
                }
                continue;
            }
            if (computer.due() != 0 && static_cast<Sint32>(sim_now - computer.due()) >= 0) {
                computer_presses(computer.decide(shown, sim_now));
            }
            const SDLKey key = player.act(shown, sim_now);
            if (key != SDLK_UNKNOWN) {
                press({input::key_event(SDL_KEYDOWN, key), input::key_event(SDL_KEYUP, key)});
            }
            EXPECT_LT(sim_now - round_start, 120000U) << "a round that never ends, seed " << seed;
            if (sim_now - round_start >= 120000U) {
                return score;
            }
        }
        ++tally.matches;
        return score;
    }

    Tally matches(Uint32 reaction, int count) {
        Tally tally;
        for (int match = 0; match < count && !HasFailure(); ++match) {
            const auto seed = static_cast<unsigned>(1000 + match);
            Scripted player(reaction, seed);
            Computer computer;
            play(player, computer, seed, tally, match == 0);
        }
        const int rounds = tally.computer + tally.player;
        std::printf(
            "player reacting in %u ms: the computer won %d of %d rounds (%.0f%%) in %d "
            "matches; longest round %u ms; its reaction by round:",
            reaction, tally.computer, rounds, 100.0 * tally.computer / rounds, tally.matches,
            tally.longest_round);
        for (const Uint32 r : tally.reactions) {
            std::printf(" %u", r);
        }
        std::printf("\n");
        return tally;
    }

    GameJedi duel;
};

TEST_F(ComputerMatch, KeepsEveryMatchCloseAgainstThreeStrengthsAndBeatsAnIdlePlayerNineNil) {
    for (const Uint32 reaction : {600U, 350U, 200U}) {
        const Tally tally = matches(reaction, 50);
        ASSERT_EQ(tally.matches, 50);
        const double share = static_cast<double>(tally.computer) / (tally.computer + tally.player);
        EXPECT_GE(share, 0.35) << reaction;
        EXPECT_LE(share, 0.65) << reaction;
    }
    const Tally idle = matches(0, 3);
    EXPECT_EQ(idle.computer, 27);
    EXPECT_EQ(idle.player, 0);
    EXPECT_EQ(idle.reactions.back(), Computer::SLOWEST_MS);  // and it slows to its bound
}

// A first match against a player it has not met: from its starting level the computer
// comes near its even level within about four rounds, against a quick player as against a
// slow one, and the match is close. Its even level against a player is where it keeps
// itself in later matches, each begun at the level the last one ended at; those stay close.
TEST_F(ComputerMatch, AFirstMatchIsCloseAndFindsTheEvenLevelWithinFourRounds) {
    constexpr int MATCHES = 20;    // first matches against each player, each its own seed
    constexpr int LATER = 2;       // matches after each first one
    constexpr int SETTLED_BY = 4;  // rounds
    constexpr std::size_t SHOWN = 10;
    const auto loser = [](const std::array<int, 2>& score) { return std::min(score[0], score[1]); };
    for (const Uint32 reaction : {150U, 250U, 400U, 600U, 700U}) {
        std::vector<std::vector<Uint32>> levels;  // after each round of each first match
        std::vector<int> losers;                  // the loser's points in each first match
        int later_close = 0;                      // later matches the loser took 5 points of
        std::array<int, 2> later_points{0, 0};
        std::vector<Uint32> later_levels;
        for (int match = 0; match < MATCHES; ++match) {
            const auto seed = static_cast<unsigned>(3000 + match * 10);
            Scripted player(reaction, seed);
            Computer computer;
            Tally first;
            losers.push_back(loser(play(player, computer, seed, first, true)));
            levels.push_back(first.reactions);
            for (unsigned later = 1; later <= LATER; ++later) {
                Computer kept(computer.reaction());
                Scripted again(reaction, seed + later);
                Tally tally;
                const std::array<int, 2> score = play(again, kept, seed + later, tally, true);
                later_close += loser(score) >= 5 ? 1 : 0;
                later_points[0] += score[0];
                later_points[1] += score[1];
                later_levels.insert(later_levels.end(), tally.reactions.begin(),
                                    tally.reactions.end());
                computer = kept;
            }
        }
        ASSERT_FALSE(later_levels.empty());
        double even = 0;
        for (const Uint32 level : later_levels) {
            even += level;
        }
        even /= static_cast<double>(later_levels.size());
        std::printf("player reacting in %u ms: even level %.0f ms; first matches' by round:",
                    reaction, even);
        // From the fourth round on, the level, averaged over the first matches, lies
        // within 40 ms of the even level.
        for (std::size_t round = 0; round < SHOWN; ++round) {
            double sum = 0;
            int count = 0;
            for (const std::vector<Uint32>& match : levels) {
                if (round < match.size()) {
                    sum += match[round];
                    ++count;
                }
            }
            ASSERT_GT(count, 0);
            std::printf(" %.0f", sum / count);
            if (round + 1 >= SETTLED_BY) {
                EXPECT_NEAR(sum / count, even, 40.0) << reaction << " ms, round " << round + 1;
            }
        }
        std::sort(losers.begin(), losers.end());
        const auto close =
            std::count_if(losers.begin(), losers.end(), [](int p) { return p >= 5; });
        const double share =
            static_cast<double>(later_points[1]) / (later_points[0] + later_points[1]);
        std::printf(
            "\n  first matches close (the loser 5 points or more): %ld of %d; later: %d "
            "of %d, the computer's share of their rounds %.2f\n",
            static_cast<long>(close), MATCHES, later_close, MATCHES * LATER, share);
        // In the first match the loser takes 5 points or more, in the median match; later
        // matches, in two of three.
        EXPECT_GE(losers[MATCHES / 2], 5) << reaction;
        EXPECT_GE(later_close, MATCHES * LATER * 2 / 3) << reaction;
        EXPECT_GE(share, 0.35) << reaction;
        EXPECT_LE(share, 0.65) << reaction;
    }
}

}  // namespace
