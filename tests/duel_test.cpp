#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "games/gamejedi.h"
#include "shell/director.h"
#include "shell/events.h"
#include "support.h"

struct GameJediProbe {
    static GameJedi::Player& player(GameJedi& duel, int p) { return duel.players[p]; }
    static void place(GameJedi& duel, int p, unsigned x, unsigned y, Game::Button direction) {
        duel.unrender_player(p);
        duel.players[p].x = x;
        duel.players[p].y = y;
        duel.players[p].direction = direction;
        duel.render_player(p);
    }
    static const std::vector<Mix_Chunk*>& strikes(GameJedi& duel) { return duel.strike_sounds; }
    static const std::vector<Mix_Chunk*>& swings(GameJedi& duel) { return duel.swing_sounds; }
    static Mix_Chunk* idle(GameJedi& duel) { return duel.idle_sound; }
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

}  // namespace
