#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "framework/frame.h"
#include "games/duel/bout.h"
#include "games/duel/picture.h"
#include "games/duel/prediction.h"

namespace {

using Cells = std::map<std::pair<int, int>, char>;  // lit grid cells: 'W' body, 'R', 'B' blades

constexpr Game::Color GREEN{0, 255, 0};

// The host's frame of a round as the duel paints it, a point lit in each score column.
Frame drawn(const Bout& bout) {
    Frame frame;
    frame.set(-1, 8, GREEN);
    frame.set(Frame::SIDE, 8, GREEN);
    for (int p = 0; p < 2; ++p) {
        picture::paint(bout.fighters[p], p, true,
                       [&frame](int x, int y, Game::Color c) { frame.set(x, y, c); });
    }
    return frame;
}

Cells lit(const Frame& frame) {
    Cells cells;
    for (int x = 0; x < 9; ++x) {
        for (int y = 0; y < 9; ++y) {
            const Game::Color c = frame.at(x, y);
            if (c.r == 255 && c.g == 255) {
                cells[{x, y}] = 'W';
            } else if (c.r == 255) {
                cells[{x, y}] = 'R';
            } else if (c.b == 255) {
                cells[{x, y}] = 'B';
            }
        }
    }
    return cells;
}

bool same(const Frame& a, const Frame& b) {
    for (std::size_t i = 0; i < a.cells.size(); ++i) {
        if (a.cells[i].r != b.cells[i].r || a.cells[i].g != b.cells[i].g ||
            a.cells[i].b != b.cells[i].b) {
            return false;
        }
    }
    return true;
}

// A round from its start: the guest's step and turn show at once, a press inside the
// re-arm shows nothing, and each frame from the host replaces what was foreseen: the
// presses it took are its own to show, one it refused is gone.
TEST(Prediction, TheGuestsOwnStepsAndTurnsShowAtOnceUntilTheHostsFramesShowThem) {
    Prediction own;
    Bout host = Bout::start();
    own.frame(drawn(host), 0);
    EXPECT_TRUE(same(own.shown(), drawn(host)));

    own.press(1, Game::LEFT, 1000);  // steps: the blade points left
    EXPECT_EQ(lit(own.shown()),
              (Cells{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{6, 4}, 'W'}, {{5, 4}, 'B'}}));
    own.press(2, Game::UP, 1030);  // inside the re-arm: nothing
    EXPECT_EQ(lit(own.shown()),
              (Cells{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{6, 4}, 'W'}, {{5, 4}, 'B'}}));
    own.press(3, Game::UP, 1050);  // turns
    const Cells stepped_and_turned{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{6, 4}, 'W'}, {{6, 3}, 'B'}};
    EXPECT_EQ(lit(own.shown()), stepped_and_turned);
    // The score columns and the host's fighter are the host's frame's.
    EXPECT_EQ(own.shown().at(-1, 8).g, 255);
    EXPECT_EQ(own.shown().at(9, 8).g, 255);

    // A frame from before any press was taken, in which the host's fighter stepped: the
    // guest's presses still show, on top of it.
    host.press(0, Game::RIGHT);
    own.frame(drawn(host), 0);
    EXPECT_EQ(lit(own.shown()),
              (Cells{{{2, 4}, 'W'}, {{3, 4}, 'R'}, {{6, 4}, 'W'}, {{6, 3}, 'B'}}));
    // The host took the step; the turn is still foreseen.
    host.press(1, Game::LEFT);
    own.frame(drawn(host), 1);
    EXPECT_EQ(own.waiting(), 2U);
    EXPECT_EQ(lit(own.shown()),
              (Cells{{{2, 4}, 'W'}, {{3, 4}, 'R'}, {{6, 4}, 'W'}, {{6, 3}, 'B'}}));
    EXPECT_EQ(own.corrected(), 0U);
    // The host refused the turn (its re-arm saw the presses closer): its frame stands,
    // and the turn shown is counted as foreseen wrongly.
    own.frame(drawn(host), 3);
    EXPECT_EQ(own.waiting(), 0U);
    EXPECT_TRUE(same(own.shown(), drawn(host)));
    EXPECT_EQ(own.corrected(), 1U);
}

// Neither into an edge, where a press does not count and so starts no re-arm, nor a
// clash or a hit, which are the host's to show, nor anything between rounds.
TEST(Prediction, ForeseesNoPressIntoAnEdgeNoClashNoHitAndNothingBetweenRounds) {
    Prediction own;
    Bout host{{{1, 4, Game::RIGHT}, {8, 4, Game::LEFT}}};
    own.frame(drawn(host), 0);
    own.press(1, Game::RIGHT, 1000);  // its blade at the edge it stands on
    EXPECT_TRUE(same(own.shown(), drawn(host)));
    own.press(2, Game::UP, 1010);  // counts: the refused press started no re-arm
    EXPECT_EQ(lit(own.shown()),
              (Cells{{{1, 4}, 'W'}, {{2, 4}, 'R'}, {{8, 4}, 'W'}, {{8, 3}, 'B'}}));

    // Blades tip to tip after the step: a clash, not foreseen, nor any press after it.
    Prediction clash;
    const Bout facing{{{3, 4, Game::RIGHT}, {6, 4, Game::LEFT}}};
    clash.frame(drawn(facing), 0);
    clash.press(1, Game::LEFT, 1000);
    clash.press(2, Game::UP, 1100);
    EXPECT_TRUE(same(clash.shown(), drawn(facing)));

    // The blade onto the other's body: the round's end is the host's to show.
    Prediction hit;
    const Bout near{{{4, 4, Game::UP}, {6, 4, Game::LEFT}}};
    hit.frame(drawn(near), 0);
    hit.press(1, Game::LEFT, 1000);
    EXPECT_TRUE(same(hit.shown(), drawn(near)));

    // A round won, the grid filling green: no fighters, nothing foreseen.
    Prediction over;
    Frame won = drawn(Bout::start());
    for (int x = 0; x < 9; ++x) {
        won.set(x, 4, GREEN);
    }
    over.frame(won, 0);
    over.press(1, Game::LEFT, 1000);
    EXPECT_TRUE(same(over.shown(), won));
}

}  // namespace
