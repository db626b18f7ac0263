#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "games/duel/gamejedi.h"
#include "games/duel/picture.h"
#include "shell/director.h"
#include "shell/events.h"
#include "support.h"

struct GameJediProbe {
    // A player as the tests see it: the ready flag itself, and the fighter as it stands.
    struct Player {
        std::atomic<bool>& ready;
        unsigned x;
        unsigned y;
        Game::Button direction;
    };
    static Player player(GameJedi& duel, int p) {
        const Bout::Fighter& f = duel.bout.fighters[p];
        return {duel.ready[p], static_cast<unsigned>(f.x), static_cast<unsigned>(f.y),
                static_cast<Game::Button>(f.way)};
    }
    static void place(GameJedi& duel, int p, unsigned x, unsigned y, Game::Button direction) {
        duel.unrender_player(p);
        duel.bout.fighters[p] = {static_cast<int>(x), static_cast<int>(y), direction};
        duel.render_player(p);
    }
    static const std::vector<Mix_Chunk*>& strikes(GameJedi& duel) { return duel.strike_sounds; }
    static const std::vector<Mix_Chunk*>& swings(GameJedi& duel) { return duel.swing_sounds; }
    static Mix_Chunk* idle(GameJedi& duel) { return duel.idle_sound; }
    static Mix_Chunk* on(GameJedi& duel) { return duel.on_sound; }
    static std::size_t pending_timers(GameJedi& duel) { return duel.timers.pending(); }
};

namespace {

using namespace std::chrono_literals;
using Cells = std::map<std::pair<int, int>, char>;  // lit cells: 'W' body, 'R' red, 'B' blue

class Duel : public ::testing::Test {
  protected:
    void SetUp() override {
        duel.run();
        support::drain_events();
    }

    Cells lit() {
        Cells cells;
        for (int x = 0; x < 9; ++x) {
            for (int y = 0; y < 9; ++y) {
                const Game::Color c = duel.get_pixel(x, y);
                if (c.r == 255 && c.g == 255 && c.b == 255) {
                    cells[{x, y}] = 'W';
                } else if (c.r == 255 && c.g == 0 && c.b == 0) {
                    cells[{x, y}] = 'R';
                } else if (c.r == 0 && c.g == 0 && c.b == 255) {
                    cells[{x, y}] = 'B';
                } else if (c.r != 0 || c.g != 0 || c.b != 0) {
                    cells[{x, y}] = '?';
                }
            }
        }
        return cells;
    }

    bool ready(int p) { return GameJediProbe::player(duel, p).ready; }

    // Presses once the player is ready again, as a player pressing 50 ms apart would.
    void press(int p, Game::Button b) {
        for (int i = 0; i < 2000 && !ready(p); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(ready(p));
        duel.input(p, b);
    }

    // Stops every clip but the hum.
    static void quiet_beside_hum() {
        for (int channel = 1; channel < Mix_AllocateChannels(-1); ++channel) {
            Mix_HaltChannel(channel);
        }
    }

    // The channels other than the hum's that are playing, with their clips.
    std::vector<Mix_Chunk*> playing_beside_hum() {
        std::vector<Mix_Chunk*> clips;
        for (int channel = 1; channel < Mix_AllocateChannels(-1); ++channel) {
            if (Mix_Playing(channel) != 0) {
                clips.push_back(Mix_GetChunk(channel));
            }
        }
        return clips;
    }

    Director director;  // the mixer, open on the dummy driver
    GameJedi duel;
};

TEST_F(Duel, ARoundStartsWithBothFightersFacingEachOther) {
    EXPECT_EQ(lit(), (Cells{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{6, 4}, 'B'}, {{7, 4}, 'W'}}));
    EXPECT_TRUE(ready(0));
    EXPECT_TRUE(ready(1));
}

TEST_F(Duel, ANewRoundClearsEveryTraceAndReadiesAWaitingPlayer) {
    duel.set_pixel(0, 0, {1, 2, 3});
    GameJediProbe::place(duel, 0, 5, 5, Game::UP);
    duel.input(1, Game::UP);  // player 1 now waits for its re-arm timer
    ASSERT_FALSE(ready(1));
    duel.run();
    EXPECT_EQ(lit(), (Cells{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{6, 4}, 'B'}, {{7, 4}, 'W'}}));
    EXPECT_TRUE(ready(1));
    const auto events = support::drain_events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().type, BR_RENDER);
}

TEST_F(Duel, TheWorkedExample) {
    struct Step {
        int player;
        Game::Button button;
        Cells after;
    };
    const std::vector<Step> steps = {
        {0, Game::RIGHT, {{{2, 4}, 'W'}, {{3, 4}, 'R'}, {{6, 4}, 'B'}, {{7, 4}, 'W'}}},
        {1, Game::LEFT, {{{2, 4}, 'W'}, {{3, 4}, 'R'}, {{5, 4}, 'B'}, {{6, 4}, 'W'}}},
        {0, Game::RIGHT, {{{3, 4}, 'W'}, {{4, 4}, 'R'}, {{5, 4}, 'B'}, {{6, 4}, 'W'}}},
        // Both tips on (4, 4): a clash flips both blades.
        {1, Game::LEFT, {{{2, 4}, 'R'}, {{3, 4}, 'W'}, {{5, 4}, 'W'}, {{6, 4}, 'B'}}},
        {0, Game::RIGHT, {{{3, 4}, 'W'}, {{4, 4}, 'R'}, {{5, 4}, 'W'}, {{6, 4}, 'B'}}},
        // The red blade lands on player 1's body.
        {0, Game::RIGHT, {{{4, 4}, 'W'}, {{5, 4}, 'R'}, {{6, 4}, 'B'}}},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        press(steps[i].player, steps[i].button);
        EXPECT_EQ(lit(), steps[i].after) << "after press " << i + 1;
        const auto events = support::drain_events();
        if (i + 1 < steps.size()) {
            ASSERT_EQ(events.size(), 1U) << "after press " << i + 1;
            EXPECT_EQ(events[0].type, BR_RENDER);
        } else {
            ASSERT_EQ(events.size(), 2U);
            EXPECT_EQ(events[0].type, BR_RENDER);
            EXPECT_EQ(events[1].type, BR_GAMEOVER);
            EXPECT_EQ(events[1].user.code, -1);
        }
    }
    EXPECT_EQ(GameJediProbe::player(duel, 0).direction, Game::RIGHT);
    EXPECT_EQ(GameJediProbe::player(duel, 1).direction, Game::RIGHT);
}

TEST_F(Duel, PlayerOneScoresWithOne) {
    GameJediProbe::place(duel, 0, 1, 4, Game::UP);
    GameJediProbe::place(duel, 1, 3, 4, Game::LEFT);
    press(1, Game::LEFT);  // steps to (2, 4): the blue blade lands on (1, 4)
    const auto events = support::drain_events();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0].type, BR_RENDER);
    EXPECT_EQ(events[1].type, BR_GAMEOVER);
    EXPECT_EQ(events[1].user.code, 1);
}

TEST_F(Duel, ARightAngleClash) {
    GameJediProbe::place(duel, 0, 3, 4, Game::RIGHT);
    GameJediProbe::place(duel, 1, 4, 6, Game::UP);
    press(1, Game::UP);  // steps to (4, 5): both tips on (4, 4)
    EXPECT_EQ(GameJediProbe::player(duel, 0).direction, Game::LEFT);
    EXPECT_EQ(GameJediProbe::player(duel, 1).direction, Game::DOWN);
    EXPECT_EQ(lit(), (Cells{{{2, 4}, 'R'}, {{3, 4}, 'W'}, {{4, 5}, 'W'}, {{4, 6}, 'B'}}));
}

TEST_F(Duel, AClashAtTheEdgeLeavesABladeOffTheGrid) {
    GameJediProbe::place(duel, 0, 0, 4, Game::RIGHT);
    GameJediProbe::place(duel, 1, 3, 4, Game::LEFT);
    press(1, Game::LEFT);  // steps to (2, 4): both tips on (1, 4)
    EXPECT_EQ(GameJediProbe::player(duel, 0).direction, Game::LEFT);
    EXPECT_EQ(lit(), (Cells{{{0, 4}, 'W'}, {{2, 4}, 'W'}, {{3, 4}, 'B'}}));

    press(0, Game::LEFT);  // the edge guard drops it
    EXPECT_TRUE(ready(0));
    EXPECT_EQ(GameJediProbe::player(duel, 0).direction, Game::LEFT);

    // Erasing the fighter with its blade off the grid touches only its body cell.
    duel.unrender_player(0);
    EXPECT_EQ(lit(), (Cells{{{2, 4}, 'W'}, {{3, 4}, 'B'}}));
    duel.render_player(0);

    press(0, Game::RIGHT);  // turns back, with a swing
    EXPECT_EQ(lit(), (Cells{{{0, 4}, 'W'}, {{1, 4}, 'R'}, {{2, 4}, 'W'}, {{3, 4}, 'B'}}));
}

TEST_F(Duel, TheEdgeGuardDropsPressesTowardTheEdge) {
    struct Edge {
        unsigned x, y;
        Game::Button toward;
    };
    const Edge edges[] = {
        {8, 2, Game::RIGHT}, {0, 2, Game::LEFT}, {3, 0, Game::UP}, {3, 8, Game::DOWN}};
    for (const Edge& edge : edges) {
        for (const Game::Button pointing : {Game::UP, Game::DOWN, Game::LEFT, Game::RIGHT}) {
            GameJediProbe::place(duel, 1, 6, 6, Game::DOWN);
            GameJediProbe::place(duel, 0, edge.x, edge.y, pointing);
            const Cells before = lit();
            support::drain_events();
            duel.input(0, edge.toward);
            EXPECT_EQ(lit(), before);
            EXPECT_TRUE(ready(0));
            EXPECT_EQ(GameJediProbe::player(duel, 0).direction, pointing);
            EXPECT_TRUE(support::drain_events().empty());
        }
    }
    EXPECT_EQ(GameJediProbe::pending_timers(duel), 0U);
}

TEST_F(Duel, APlayerWaitsFiftyMillisecondsBetweenPresses) {
    duel.input(0, Game::UP);  // turn
    const Cells turned = lit();
    duel.input(0, Game::UP);  // would step, but player 0 is waiting
    EXPECT_EQ(lit(), turned);
    duel.input(1, Game::DOWN);  // the other player is not held up
    EXPECT_NE(lit(), turned);
    EXPECT_EQ(support::drain_events().size(), 2U);
    press(0, Game::UP);  // ready again: the step is taken
    EXPECT_EQ(GameJediProbe::player(duel, 0).y, 3U);
}

// A press that lands while the other player's re-arm timer fires changes SDL's list of
// timers under that callback; the churn makes such moments constant. Each re-arm timer
// must still fire once and go, not re-arm its player every 50 ms.
TEST_F(Duel, ReArmTimersFireOnceWhenPressesCollide) {
    support::TimerChurn churn;
    for (int round = 0; round < 5; ++round) {
        duel.run();
        duel.input(0, Game::UP);
        duel.input(1, Game::DOWN);
        press(0, Game::DOWN);
        duel.input(1, Game::UP);
        for (int i = 0; i < 2000 && !(ready(0) && ready(1)); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(ready(0) && ready(1));
        GameJediProbe::player(duel, 0).ready = false;
        GameJediProbe::player(duel, 1).ready = false;
        std::this_thread::sleep_for(150ms);
        EXPECT_FALSE(ready(0)) << "a spent timer re-armed player 0";
        EXPECT_FALSE(ready(1)) << "a spent timer re-armed player 1";
        EXPECT_EQ(GameJediProbe::pending_timers(duel), 0U);
    }
}

TEST_F(Duel, TheHumLoopsOnChannelZeroAtItsVolume) {
    Mix_Chunk* idle = GameJediProbe::idle(duel);
    EXPECT_EQ(Mix_GetChunk(0), idle);
    EXPECT_EQ(Mix_VolumeChunk(idle, -1), 38);
    EXPECT_EQ(Mix_VolumeChunk(GameJediProbe::swings(duel)[0], -1), MIX_MAX_VOLUME);
    // "on" plays twice: on channel 1, then on the first free one.
    EXPECT_EQ(playing_beside_hum().size(), 2U);
    std::this_thread::sleep_for(2300ms);  // longer than the clip: it must have looped
    EXPECT_NE(Mix_Playing(0), 0);
    EXPECT_EQ(Mix_GetChunk(0), idle);
}

TEST_F(Duel, SoundsFollowTurnsClashesAndHits) {
    const auto& swings = GameJediProbe::swings(duel);
    const auto& strikes = GameJediProbe::strikes(duel);
    const auto contains = [](const std::vector<Mix_Chunk*>& list, Mix_Chunk* c) {
        return std::find(list.begin(), list.end(), c) != list.end();
    };

    std::srand(1234);
    const int swing_index = std::rand() % 8;
    const int clash_swing = std::rand() % 8;
    const int strike_index = std::rand() % 3;
    static_cast<void>(clash_swing);
    std::srand(1234);

    press(0, Game::UP);  // a turn: one swing, chosen by the next random number
    auto clips = playing_beside_hum();
    EXPECT_TRUE(contains(clips, swings[swing_index]));

    // A turn into a clash: the swing's number is taken first, then the strike's; only
    // the strike is left playing beside the hum.
    GameJediProbe::place(duel, 0, 3, 4, Game::UP);
    GameJediProbe::place(duel, 1, 5, 4, Game::LEFT);
    press(0, Game::RIGHT);
    clips = playing_beside_hum();
    ASSERT_EQ(clips.size(), 1U);
    EXPECT_EQ(clips[0], strikes[strike_index]);
    EXPECT_NE(Mix_Playing(0), 0);

    // A hit stops the hum alone; the strike plays on.
    GameJediProbe::place(duel, 0, 3, 4, Game::RIGHT);
    GameJediProbe::place(duel, 1, 5, 4, Game::RIGHT);
    press(0, Game::RIGHT);
    EXPECT_EQ(Mix_Playing(0), 0);
    EXPECT_EQ(playing_beside_hum(), clips);
}

// --- The rules themselves, as the duel and the computer's look-ahead play them ---------

using Move = Bout::Move;
using F = Bout::Fighter;

std::string show(const Bout& b) {
    std::string text;
    for (const F& f : b.fighters) {
        text += "(" + std::to_string(f.x) + "," + std::to_string(f.y) + " way " +
                std::to_string(f.way) + ") ";
    }
    return text;
}

// From the start: steps, a clash, a turn, and a hit for player 0; then the clashes that
// need no straight line: at a right angle, and at the edge, where a blade flips off the grid.
TEST(DuelRules, StepsTurnsClashesAndHitsPressByPress) {
    struct Step {
        int player;
        Game::Button way;
        Move move;
        bool clash;
        int first_hit;
        F red, blue;
    };
    const int N = Bout::NOBODY;
    const Step steps[] = {
        {0, Game::RIGHT, Move::STEPPED, false, N, {2, 4, Game::RIGHT}, {7, 4, Game::LEFT}},
        {1, Game::LEFT, Move::STEPPED, false, N, {2, 4, Game::RIGHT}, {6, 4, Game::LEFT}},
        {0, Game::RIGHT, Move::STEPPED, false, N, {3, 4, Game::RIGHT}, {6, 4, Game::LEFT}},
        // Both tips on (4, 4): both blades flip.
        {1, Game::LEFT, Move::STEPPED, true, N, {3, 4, Game::LEFT}, {5, 4, Game::RIGHT}},
        {0, Game::RIGHT, Move::TURNED, false, N, {3, 4, Game::RIGHT}, {5, 4, Game::RIGHT}},
        {0, Game::RIGHT, Move::STEPPED, false, 0, {4, 4, Game::RIGHT}, {5, 4, Game::RIGHT}},
    };
    Bout bout = Bout::start();
    for (const Step& step : steps) {
        const Bout::Outcome outcome = bout.press(step.player, step.way);
        const std::string where = "after " + show(bout);
        EXPECT_EQ(outcome.move, step.move) << where;
        EXPECT_EQ(outcome.clash, step.clash) << where;
        EXPECT_EQ(outcome.hits[0], step.first_hit) << where;
        EXPECT_EQ(outcome.hits[1], N) << where;
        EXPECT_EQ(bout.fighters[0], step.red) << where;
        EXPECT_EQ(bout.fighters[1], step.blue) << where;
    }

    // A right angle: player 1 steps up to (4, 5), both tips on (4, 4).
    Bout square{{{3, 4, Game::RIGHT}, {4, 6, Game::UP}}};
    EXPECT_TRUE(square.press(1, Game::UP).clash);
    EXPECT_EQ(square.fighters[0], (F{3, 4, Game::LEFT}));
    EXPECT_EQ(square.fighters[1], (F{4, 5, Game::DOWN}));

    // At the edge: player 1 steps to (2, 4), both tips on (1, 4); the red blade flips off
    // the grid, where it hits nothing and meets no tip.
    Bout edge{{{0, 4, Game::RIGHT}, {3, 4, Game::LEFT}}};
    const Bout::Outcome flipped = edge.press(1, Game::LEFT);
    EXPECT_TRUE(flipped.clash);
    EXPECT_EQ(flipped.hits[0], N);
    EXPECT_EQ(edge.fighters[0], (F{0, 4, Game::LEFT}));
    int x = 0;
    int y = 0;
    ASSERT_TRUE(edge.fighters[0].tip(x, y));
    EXPECT_FALSE(Bout::on_grid(x, y));
    // Its only way back is a turn; the press toward the edge is dropped.
    EXPECT_EQ(edge.press(0, Game::LEFT).move, Move::DROPPED);
    EXPECT_EQ(edge.press(0, Game::RIGHT).move, Move::TURNED);
    EXPECT_EQ(edge.fighters[0], (F{0, 4, Game::RIGHT}));
}

// The edge guard drops a press toward the edge a fighter stands on, whether it would step
// or turn, in every corner too, and lets every other press through; a blade the computer
// cannot see neither clashes nor hits until it turns into sight.
TEST(DuelRules, TheEdgeGuardBothHitsAndABladeOutOfSight) {
    const Game::Button ways[] = {Game::UP, Game::DOWN, Game::LEFT, Game::RIGHT};
    for (int x = 0; x < 9; ++x) {
        for (int y = 0; y < 9; ++y) {
            for (const Game::Button pointing : ways) {
                for (const Game::Button way : ways) {
                    const bool off = (way == Game::UP && y == 0) || (way == Game::DOWN && y == 8) ||
                                     (way == Game::LEFT && x == 0) ||
                                     (way == Game::RIGHT && x == 8);
                    Bout bout{{{x, y, pointing}, {x == 4 ? 0 : 4, 4, Game::UP}}};
                    const Bout before = bout;
                    const std::string where = show(before) + "pressing " + std::to_string(way);
                    EXPECT_EQ(bout.blocked(0, way), off) << where;
                    const Move move = bout.move(0, way);
                    EXPECT_EQ(move, off               ? Move::DROPPED
                                    : way == pointing ? Move::STEPPED
                                                      : Move::TURNED)
                        << where;
                    if (off) {
                        EXPECT_EQ(bout.fighters[0], before.fighters[0]) << where;
                    }
                }
            }
        }
    }

    // Both blades on the other's body: both hit, the one who pressed first.
    for (const int mover : {0, 1}) {
        Bout both{{{3, 4, Game::UP}, {4, 4, Game::LEFT}}};
        if (mover == 1) {
            both = {{{3, 4, Game::RIGHT}, {4, 4, Game::UP}}};
        }
        const Bout::Outcome outcome = both.press(mover, mover == 0 ? Game::RIGHT : Game::LEFT);
        EXPECT_EQ(outcome.move, Move::TURNED);
        EXPECT_FALSE(outcome.clash);
        EXPECT_EQ(outcome.hits[0], mover);
        EXPECT_EQ(outcome.hits[1], 1 - mover);
    }

    // The computer's model: its own blade off the grid in a corner, its way unseen. The
    // foe's tip lies where that blade might be, yet nothing clashes and nothing hits. Any
    // press turns the blade into sight; turned right it meets the foe's tip and clashes.
    Bout corner{{{2, 0, Game::LEFT}, {0, 0, Bout::UNSEEN}}};
    EXPECT_FALSE(corner.clashing());
    EXPECT_FALSE(corner.hits(0));
    EXPECT_FALSE(corner.hits(1));
    Bout down = corner;
    EXPECT_EQ(down.press(1, Game::DOWN).move, Move::TURNED);
    EXPECT_EQ(down.fighters[1], (F{0, 0, Game::DOWN}));
    const Bout::Outcome outcome = corner.press(1, Game::RIGHT);
    EXPECT_EQ(outcome.move, Move::TURNED);
    EXPECT_TRUE(outcome.clash);
    EXPECT_EQ(outcome.hits[0], Bout::NOBODY);
    EXPECT_EQ(corner.fighters[0], (F{2, 0, Game::RIGHT}));
    EXPECT_EQ(corner.fighters[1], (F{0, 0, Game::LEFT}));
}

// What the duel paints is what a player, the computer and a friend's page read back: for
// every place and way of player 0 against player 1 in three places, the picture holds both
// fighters and no other cell, and the look at it gives the bout again. A blade off the grid
// is read from the edge it points at, or in a corner from where it pointed before.
TEST(DuelPicture, WhatIsPaintedIsReadBack) {
    const Game::Button ways[] = {Game::UP, Game::DOWN, Game::LEFT, Game::RIGHT};
    const F others[] = {{4, 4, Game::UP}, {8, 8, Game::LEFT}, {0, 6, Game::RIGHT}};
    int read = 0;
    for (const F& other : others) {
        for (int x = 0; x < 9; ++x) {
            for (int y = 0; y < 9; ++y) {
                for (const Game::Button way : ways) {
                    const Bout bout{{{x, y, way}, other}};
                    std::set<std::pair<int, int>> cells;
                    std::size_t covered = 0;  // counted twice where the fighters overlap
                    for (const F& f : bout.fighters) {
                        int tx = 0;
                        int ty = 0;
                        f.tip(tx, ty);
                        cells.insert({f.x, f.y});
                        ++covered;
                        if (Bout::on_grid(tx, ty)) {
                            cells.insert({tx, ty});
                            ++covered;
                        }
                    }
                    if (cells.size() != covered) {
                        continue;  // fighters that overlap are a round already won
                    }
                    const picture::Grid grid = picture::of(bout);
                    const auto lit = std::count_if(grid.begin(), grid.end(), [](Game::Color c) {
                        return c.r != 0 || c.g != 0 || c.b != 0;
                    });
                    const std::string where = show(bout);
                    EXPECT_EQ(static_cast<std::size_t>(lit), cells.size()) << where;
                    // Seen as the computer sees it, player 1 as "me", knowing the ways.
                    picture::Sight before;
                    before.found = true;
                    before.foe = bout.fighters[0];
                    before.me = bout.fighters[1];
                    const picture::Sight sight = picture::look(grid, before);
                    ASSERT_TRUE(sight.found) << where;
                    EXPECT_EQ(sight.bout().fighters[0], bout.fighters[0]) << where;
                    EXPECT_EQ(sight.bout().fighters[1], bout.fighters[1]) << where;
                    ++read;
                }
            }
        }
    }
    EXPECT_GT(read, 800);

    // Without knowing the ways before: a blade off the grid along an edge is still read,
    // in a corner it is unseen.
    const Bout edge{{{0, 4, Game::LEFT}, {6, 6, Game::UP}}};
    const picture::Sight fresh = picture::look(picture::of(edge), {});
    ASSERT_TRUE(fresh.found);
    EXPECT_EQ(fresh.foe, (F{0, 4, Game::LEFT}));
    EXPECT_EQ(fresh.me, (F{6, 6, Game::UP}));
    const Bout corner{{{4, 4, Game::UP}, {8, 8, Game::DOWN}}};
    EXPECT_EQ(picture::look(picture::of(corner), {}).me, (F{8, 8, Bout::UNSEEN}));
    // Anything else on the grid is no duel: a green cell, or a third white one.
    picture::Grid won = picture::of(Bout::start());
    won[0] = Game::Color{0, 255, 0};
    EXPECT_FALSE(picture::look(won, {}).found);
}

// --- What a player feels ---------------------------------------------------------------

// Milliseconds, so that a failed time bound reads as a number.
double millis(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Every cell, every way the blade points, both players: the blade shows wherever it
// lies on the grid, along the last row and column as along the first, and erasing the
// fighter leaves nothing behind.
TEST_F(Duel, ABladeShowsUpToEveryEdge) {
    struct Way {
        Game::Button button;
        int dx, dy;
    };
    const Way ways[] = {
        {Game::UP, 0, -1}, {Game::DOWN, 0, 1}, {Game::LEFT, -1, 0}, {Game::RIGHT, 1, 0}};
    const char blade[2] = {'R', 'B'};
    duel.unrender_player(0);
    duel.unrender_player(1);
    ASSERT_TRUE(lit().empty());
    for (int p = 0; p < 2; ++p) {
        for (int x = 0; x < 9; ++x) {
            for (int y = 0; y < 9; ++y) {
                for (const Way& way : ways) {
                    GameJediProbe::place(duel, p, x, y, way.button);
                    Cells want{{{x, y}, 'W'}};
                    const int bx = x + way.dx;
                    const int by = y + way.dy;
                    if (bx >= 0 && bx <= 8 && by >= 0 && by <= 8) {
                        want[{bx, by}] = blade[p];
                    }
                    ASSERT_EQ(lit(), want)
                        << "player " << p << " at " << x << "," << y << " pointing " << way.button;
                    duel.unrender_player(p);
                    ASSERT_TRUE(lit().empty())
                        << "player " << p << " at " << x << "," << y << " pointing " << way.button;
                }
            }
        }
    }
}

// From the cell next to each edge a fighter turns its blade onto the edge, steps onto
// the edge, and only there is stopped.
TEST_F(Duel, AFighterWalksOntoEveryEdgeAndStopsThere) {
    struct Edge {
        unsigned x, y;  // next to the edge
        Game::Button toward;
        int dx, dy;
        Game::Button facing;  // at first: along the edge
    };
    const Edge edges[] = {{4, 1, Game::UP, 0, -1, Game::LEFT},
                          {4, 7, Game::DOWN, 0, 1, Game::LEFT},
                          {1, 4, Game::LEFT, -1, 0, Game::UP},
                          {7, 4, Game::RIGHT, 1, 0, Game::UP}};
    const char blade[2] = {'R', 'B'};
    for (int p = 0; p < 2; ++p) {
        const int other = 1 - p;
        for (const Edge& e : edges) {
            // Placing a fighter erases it where it was: this one first, then the other
            // one out of the way.
            GameJediProbe::place(duel, p, e.x, e.y, e.facing);
            GameJediProbe::place(duel, other, 2, 2, Game::UP);
            Cells aside{{{2, 2}, 'W'}, {{2, 1}, blade[other]}};
            const int x = static_cast<int>(e.x);
            const int y = static_cast<int>(e.y);
            const std::string where =
                "player " + std::to_string(p) + " toward " + std::to_string(e.toward);

            press(p, e.toward);  // turns the blade onto the edge
            Cells want = aside;
            want[{x, y}] = 'W';
            want[{x + e.dx, y + e.dy}] = blade[p];
            EXPECT_EQ(lit(), want) << where;

            press(p, e.toward);  // steps onto the edge; the blade points off the grid
            want = aside;
            want[{x + e.dx, y + e.dy}] = 'W';
            EXPECT_EQ(lit(), want) << where;

            support::drain_events();
            press(p, e.toward);  // the edge itself stops it
            EXPECT_EQ(lit(), want) << where;
            EXPECT_TRUE(ready(p)) << where;
            EXPECT_TRUE(support::drain_events().empty()) << where;
        }
    }
}

// A player hammering a key: the next press is taken only when the re-arm wait is
// over, never sooner than 40 ms (SDL 1.2 may fire a 50 ms timer up to one 10 ms tick
// early; a player feels a wait of 5 ms as none), and, at least once in a few tries,
// not much later either.
TEST_F(Duel, HammeringAKeyIsTakenOncePerReArm) {
    using Clock = std::chrono::steady_clock;
    auto quickest = Clock::duration::max();
    for (int trial = 0; trial < 5; ++trial) {
        for (int i = 0; i < 2000 && !ready(0); ++i) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(ready(0));
        const Game::Button was = GameJediProbe::player(duel, 0).direction;
        const Game::Button first = was == Game::UP ? Game::DOWN : Game::UP;
        const Game::Button second = first == Game::UP ? Game::DOWN : Game::UP;
        const auto start = Clock::now();
        duel.input(0, first);  // a turn, taken
        ASSERT_EQ(GameJediProbe::player(duel, 0).direction, first);
        auto taken = start;
        while (Clock::now() - start < 2s) {
            duel.input(0, second);
            if (GameJediProbe::player(duel, 0).direction == second) {
                taken = Clock::now();
                break;
            }
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_NE(taken, start) << "the second press was never taken";
        EXPECT_GE(millis(taken - start), 35.0) << "trial " << trial;
        quickest = std::min(quickest, taken - start);
        Mix_HaltChannel(-1);  // the swings would take every channel
    }
    EXPECT_LT(millis(quickest), 250.0);
}

// Round start, as heard: "on" at once on channel 1; then the pause, 50 to 349 ms as
// the next random number says, which holds up the game; then the hum on channel 0 and
// "on" a second time. A listener polls the mixer, so it knows of each clip only that
// it started between two polls.
TEST_F(Duel, ARoundStartsWithOnThenAPauseThenTheHumAndOnAgain) {
    using Clock = std::chrono::steady_clock;
    struct Heard {
        Clock::time_point after;   // the start of the last poll that did not hear it
        Clock::time_point before;  // the end of the first poll that did
        int channel;
        Mix_Chunk* clip;
    };
    Mix_Chunk* const on = GameJediProbe::on(duel);
    Mix_Chunk* const hum = GameJediProbe::idle(duel);
    const int channels = Mix_AllocateChannels(-1);
    auto slack = Clock::duration::max();  // the smallest extra time a start took
    int seen = 0;
    for (unsigned seed = 1; seen < 4 && seed < 1000; ++seed) {
        std::srand(seed);
        const auto pause = std::chrono::milliseconds(std::rand() % 300 + 50);
        // Long pauses, which a slow poll cannot blur, and one short one.
        if ((pause < 150ms) != (seen == 3)) {
            continue;
        }
        ++seen;
        std::srand(seed);
        Mix_HaltChannel(-1);

        std::vector<Heard> heard;
        std::atomic<bool> stop{false};
        std::atomic<bool> listening{false};
        std::thread listener([&] {
            std::vector<Mix_Chunk*> was(channels, nullptr);
            auto previous = Clock::now();
            while (!stop) {
                const auto poll = Clock::now();
                std::vector<Mix_Chunk*> now(channels, nullptr);
                SDL_LockAudio();  // the mixer's own view, not one half-changed
                for (int channel = 0; channel < channels; ++channel) {
                    if (Mix_Playing(channel) != 0) {
                        now[channel] = Mix_GetChunk(channel);
                    }
                }
                SDL_UnlockAudio();
                const auto polled = Clock::now();
                for (int channel = 0; channel < channels; ++channel) {
                    if (now[channel] != nullptr && now[channel] != was[channel]) {
                        heard.push_back({previous, polled, channel, now[channel]});
                    }
                }
                was = now;
                previous = poll;
                listening = true;
                std::this_thread::sleep_for(1ms);
            }
        });
        while (!listening) {
            std::this_thread::sleep_for(1ms);
        }
        const auto start = Clock::now();
        duel.run();
        const auto ended = Clock::now();
        std::this_thread::sleep_for(20ms);
        stop = true;
        listener.join();

        std::string trial = "pause " + std::to_string(pause.count()) + " ms; heard:";
        for (const Heard& h : heard) {
            trial += " " +
                     std::string(h.clip == on    ? "on"
                                 : h.clip == hum ? "hum"
                                                 : "other") +
                     "@" + std::to_string(h.channel) + " " +
                     std::to_string(static_cast<int>(millis(h.after - start))) + ".." +
                     std::to_string(static_cast<int>(millis(h.before - start))) + " ms";
        }
        EXPECT_GE(millis(ended - start), millis(pause)) << trial;
        slack = std::min(slack, ended - start - pause);
        ASSERT_EQ(heard.size(), 3U) << trial;
        std::vector<Heard> ons;
        const Heard* hummed = nullptr;
        for (const Heard& h : heard) {
            if (h.clip == on) {
                ons.push_back(h);
            } else if (h.clip == hum) {
                hummed = &h;
            }
        }
        ASSERT_EQ(ons.size(), 2U) << trial;
        ASSERT_NE(hummed, nullptr) << trial;
        // Heard by the same poll, the one on channel 1 counts as the first.
        std::sort(ons.begin(), ons.end(), [](const Heard& a, const Heard& b) {
            return std::make_pair(a.before, a.channel != 1) <
                   std::make_pair(b.before, b.channel != 1);
        });
        EXPECT_EQ(ons[0].channel, 1) << trial;
        EXPECT_EQ(hummed->channel, 0) << trial;
        EXPECT_GT(ons[1].channel, 1) << trial;
        const Heard* const again = &ons[1];
        for (const Heard* later : {hummed, again}) {
            EXPECT_GE(millis(later->before - start), millis(pause)) << trial;
            EXPECT_GE(millis(later->before - ons[0].after), millis(pause)) << trial;
        }
    }
    ASSERT_EQ(seen, 4);
    EXPECT_LT(millis(slack), 100.0);
}

// Across many turns every one of the eight swings is heard, and across many clashes
// every one of the three strikes.
TEST_F(Duel, EverySwingAndEveryStrikeGetsPlayed) {
    const auto& swings = GameJediProbe::swings(duel);
    const auto& strikes = GameJediProbe::strikes(duel);
    std::srand(77);
    std::set<Mix_Chunk*> heard_swings;
    for (int turn = 0; turn < 100; ++turn) {
        quiet_beside_hum();
        support::drain_events();  // a redraw request per press
        GameJediProbe::player(duel, 0).ready = true;
        duel.input(0, turn % 2 == 0 ? Game::UP : Game::DOWN);
        const auto clips = playing_beside_hum();
        ASSERT_EQ(clips.size(), 1U) << "turn " << turn;
        ASSERT_NE(std::find(swings.begin(), swings.end(), clips[0]), swings.end());
        heard_swings.insert(clips[0]);
    }
    EXPECT_EQ(heard_swings.size(), 8U);

    std::set<Mix_Chunk*> heard_strikes;
    for (int clash = 0; clash < 40; ++clash) {
        GameJediProbe::place(duel, 0, 3, 4, Game::UP);
        GameJediProbe::place(duel, 1, 5, 4, Game::LEFT);
        GameJediProbe::player(duel, 0).ready = true;
        duel.input(0, Game::RIGHT);  // both tips on (4, 4)
        const auto clips = playing_beside_hum();
        ASSERT_EQ(clips.size(), 1U) << "clash " << clash;
        ASSERT_NE(std::find(strikes.begin(), strikes.end(), clips[0]), strikes.end());
        heard_strikes.insert(clips[0]);
        quiet_beside_hum();
        support::drain_events();  // a redraw request per press
    }
    EXPECT_EQ(heard_strikes.size(), 3U);
}

}  // namespace
