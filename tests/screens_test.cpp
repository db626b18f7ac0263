#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "screens/gameover.h"
#include "screens/gametest.h"
#include "screens/splash.h"
#include "shell/events.h"
#include "support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Timed {
    SDL_Event event;
    Clock::time_point at;
};

// Collects events as they arrive until `stop` says enough, or `limit` passes.
template <typename Stop>
std::vector<Timed> collect(std::chrono::milliseconds limit, Stop stop) {
    std::vector<Timed> seen;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline && !stop(seen)) {
        SDL_Event event;
        if (support::poll_event(event)) {
            seen.push_back({event, Clock::now()});
        } else {
            std::this_thread::sleep_for(1ms);
        }
    }
    return seen;
}

int count(const std::vector<Timed>& seen, Uint8 type) {
    int n = 0;
    for (const Timed& t : seen) {
        n += t.event.type == type ? 1 : 0;
    }
    return n;
}

bool green(const Game& game, unsigned x, unsigned y) {
    const Game::Color c = game.get_pixel(x, y);
    return c.r == 0 && c.g == 255 && c.b == 0;
}

class Screens : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sdl.ok);
        support::drain_events();
    }
    support::SdlSession sdl;
};

// --- Splash ---------------------------------------------------------------------------

struct MarkCase {
    int w, h, cell, x0, y0;
};

class SplashMark : public ::testing::TestWithParam<MarkCase> {
  protected:
    support::SdlSession sdl;
};

TEST_P(SplashMark, TheLettersSitOnGridCells) {
    const MarkCase m = GetParam();
    const char* picture[9] = {".........", ".........", ".XX..XX..", ".X.X.X.X.", ".XX..XX..",
                              ".X.X.X.X.", ".XX..X.X.", ".........", "........."};
    support::Surface surface(m.w, m.h);
    surface.fill(9, 9, 9);
    Splash splash;
    splash.render(surface.get());
    const int s = m.cell;
    int white_cells = 0;
    for (int row = 0; row < 9 && s > 0; ++row) {
        for (int column = 0; column < 9; ++column) {
            const bool lit = picture[row][column] == 'X';
            white_cells += lit ? 1 : 0;
            const int whites =
                surface.count(m.x0 + column * s, m.y0 + row * s, s, s, support::WHITE);
            EXPECT_EQ(whites, lit ? s * s : 0) << "cell " << column << "," << row;
        }
    }
    // Nothing outside the mark is touched: the frame behind it stays as it was.
    EXPECT_EQ(surface.count(0, 0, m.w, m.h, {9, 9, 9}), m.w * m.h - white_cells * s * s);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SplashMark,
                         ::testing::Values(MarkCase{550, 450, 50, 50, 0},
                                           MarkCase{800, 450, 50, 175, 0},
                                           MarkCase{550, 600, 50, 50, 75},
                                           MarkCase{551, 450, 50, 50, 0},
                                           MarkCase{10, 450, 0, 5, 225}),
                         support::size_name<MarkCase>);

TEST_F(Screens, TheSplashReportsOnceAfterTwoSeconds) {
    support::TimerChurn churn;  // other timers start and end all the while
    Splash splash;
    const auto start = Clock::now();
    splash.run();
    const auto seen = collect(3000ms, [](const auto&) { return false; });
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].event.type, BR_GAMEOVER);
    EXPECT_EQ(seen[0].event.user.code, 0);
    EXPECT_GE(seen[0].at - start, 1950ms);
    EXPECT_LE(seen[0].at - start, 2300ms);
}

// --- Game over ------------------------------------------------------------------------

struct FillCase {
    int winner;
    unsigned first_x, tenth_x, last_x;
};

class GameOverFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(GameOverFill, ColumnsFillBottomUpFromTheWinnersSide) {
    const FillCase f = GetParam();
    GameOver screen;
    screen.winner = f.winner;
    ASSERT_TRUE(screen.update());
    EXPECT_TRUE(green(screen, f.first_x, 8));
    EXPECT_FALSE(green(screen, f.first_x, 7));
    for (int i = 2; i <= 9; ++i) {
        ASSERT_TRUE(screen.update());
    }
    EXPECT_TRUE(green(screen, f.first_x, 0));  // the 9th cell tops the first column
    EXPECT_FALSE(green(screen, f.tenth_x, 8));
    ASSERT_TRUE(screen.update());
    EXPECT_TRUE(green(screen, f.tenth_x, 8));
    for (int i = 11; i <= 80; ++i) {
        ASSERT_TRUE(screen.update()) << "cell " << i;
    }
    EXPECT_FALSE(green(screen, f.last_x, 0));
    EXPECT_FALSE(screen.update());  // the 81st and last
    EXPECT_TRUE(green(screen, f.last_x, 0));
}

INSTANTIATE_TEST_SUITE_P(Winners, GameOverFill,
                         ::testing::Values(FillCase{-1, 0, 1, 8}, FillCase{0, 8, 7, 0},
                                           FillCase{1, 8, 7, 0}),
                         [](const auto& info) {
                             return info.param.winner < 0
                                        ? std::string("PlayerZero")
                                        : "Code" + std::to_string(info.param.winner);
                         });

TEST_F(Screens, TheGameOverFillTakesItsTimeAndReportsOnce) {
    support::TimerChurn churn;
    GameOver screen;
    screen.winner = -1;
    screen.run();
    const auto seen = collect(12000ms, [](const std::vector<Timed>& s) {
        return !s.empty() && s.back().event.type == BR_GAMEOVER;
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(count(seen, BR_RENDER), 81);
    ASSERT_EQ(count(seen, BR_GAMEOVER), 1);
    ASSERT_EQ(seen.back().event.type, BR_GAMEOVER);
    EXPECT_EQ(seen.back().event.user.code, 0);
    const auto pause = seen.back().at - seen[seen.size() - 2].at;
    EXPECT_GE(pause, 450ms);
    EXPECT_LE(pause, 700ms);
    for (unsigned i = 0; i < 81; ++i) {
        ASSERT_TRUE(green(screen, i % 9, i / 9));
    }
    EXPECT_TRUE(collect(400ms, [](const auto&) { return false; }).empty()) << "a late report";
}

TEST_F(Screens, AGameOverScreenGoneMidFillIsNeverTouchedAgain) {
    for (int wait_ms : {0, 95, 100, 105, 230}) {
        auto screen = std::make_unique<GameOver>();
        screen->run();
        std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
        screen.reset();
        support::drain_events();
        EXPECT_TRUE(collect(250ms, [](const auto&) { return false; }).empty());
    }
}

// Milliseconds, so that a failed time bound reads as a number.
double millis(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The middle one of some gaps between steps: a few late ticks on a busy machine do not
// move it.
Clock::duration median(std::vector<Clock::duration> gaps) {
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return *middle;
}

// The fill as a player watches it, from either side: never faster than a cell per
// 100 ms (SDL 1.2 may run each step up to a 10 ms tick early, and its clock counts
// whole milliseconds), mostly at that pace, and the lit cells always the first ones
// counted from the winner's side.
class GameOverPace : public ::testing::TestWithParam<int> {
  protected:
    support::SdlSession sdl;
};

TEST_P(GameOverPace, ACellEveryTenthOfASecondFromTheWinnersSide) {
    ASSERT_TRUE(sdl.ok);
    support::drain_events();
    GameOver screen;
    screen.winner = GetParam();
    const auto start = Clock::now();
    screen.run();
    const auto seen = collect(1500ms, [](const auto&) { return false; });
    ASSERT_GE(seen.size(), 4U);
    std::vector<Clock::duration> gaps;
    for (std::size_t k = 0; k < seen.size(); ++k) {
        ASSERT_EQ(seen[k].event.type, BR_RENDER) << "event " << k + 1;
        ASSERT_GE(millis(seen[k].at - start), 90.0 * static_cast<double>(k + 1) - 5.0)
            << "cell " << k + 1;
        if (k > 0) {
            gaps.push_back(seen[k].at - seen[k - 1].at);
        }
    }
    EXPECT_LE(millis(median(gaps)), 130.0) << "the typical step";

    int lit = 0;
    bool dark_before = false;
    for (int i = 0; i < 81; ++i) {
        const unsigned column = GetParam() < 0 ? i / 9 : 8 - i / 9;
        const unsigned row = 8 - i % 9;
        if (green(screen, column, row)) {
            EXPECT_FALSE(dark_before) << "cell " << column << "," << row << " out of turn";
            ++lit;
        } else {
            dark_before = true;
        }
    }
    EXPECT_GE(lit, static_cast<int>(seen.size()));
}

INSTANTIATE_TEST_SUITE_P(Winners, GameOverPace, ::testing::Values(-1, 1), [](const auto& info) {
    return info.param < 0 ? std::string("PlayerZero") : std::string("PlayerOne");
});

// --- Display test ---------------------------------------------------------------------

int grey(const Game& game, int cell) {
    const Game::Color c = game.get_pixel(cell % 9, cell / 9);
    EXPECT_TRUE(c.r == c.g && c.g == c.b) << "cell " << cell << " is not grey";
    return c.r;
}

std::vector<Timed> run_ramp(GameTest& game) {
    game.run();
    return collect(8000ms, [](const std::vector<Timed>& s) {
        return !s.empty() && s.back().event.type == BR_GAMEOVER;
    });
}

TEST_F(Screens, TheRampStartsOneCellOn) {
    GameTest game;
    ASSERT_TRUE(game.update());
    EXPECT_EQ(grey(game, 0), 0);
    EXPECT_EQ(grey(game, 1), 1);
}

TEST_F(Screens, TheDisplayTestWalksTheRampAndReports) {
    GameTest game;
    const auto seen = run_ramp(game);
    EXPECT_EQ(count(seen, BR_RENDER), 255);
    ASSERT_EQ(count(seen, BR_GAMEOVER), 1);
    EXPECT_EQ(seen.back().event.user.code, 0);
    EXPECT_EQ(grey(game, 0), 243);
    for (int k = 1; k <= 12; ++k) {
        EXPECT_EQ(grey(game, k), 243 + k) << "cell " << k;
    }
    for (int k = 13; k <= 80; ++k) {
        EXPECT_EQ(grey(game, k), 162 + k) << "cell " << k;
    }
    EXPECT_TRUE(collect(100ms, [](const auto&) { return false; }).empty());

    // A second run clears the grid and goes on from where the first stopped: step t
    // paints grey t into cell (12 + t) % 81.
    const auto again = run_ramp(game);
    EXPECT_EQ(count(again, BR_RENDER), 255);
    EXPECT_EQ(grey(game, 13), 244);
    EXPECT_EQ(grey(game, 12), 243);
    EXPECT_EQ(grey(game, 24), 255);
    EXPECT_EQ(grey(game, 25), 175);
}

// The ramp at its pace: step n never sooner than about (n - 1) x 10 ms after the start
// (two timers, say, would halve that), and typically 10 ms after the step before, not
// 20. A shorter interval cannot show: SDL 1.2 and sdl12-compat alike round timers up
// to a 10 ms tick.
TEST_F(Screens, TheRampStepsEveryTenMilliseconds) {
    GameTest game;
    const auto start = Clock::now();
    const auto seen = run_ramp(game);
    ASSERT_EQ(count(seen, BR_RENDER), 255);
    std::vector<Clock::duration> gaps;
    for (std::size_t k = 0; k < 255; ++k) {
        ASSERT_GE(millis(seen[k].at - start), 9.0 * static_cast<double>(k)) << "step " << k + 1;
        if (k > 0) {
            gaps.push_back(seen[k].at - seen[k - 1].at);
        }
    }
    EXPECT_LE(millis(median(gaps)), 17.0) << "the typical step";
}

TEST(ScreensDeathTest, AFullQueueOnTheTimerThreadEndsTheProgramWithItsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            support::SdlSession sdl;
            SDL_Event event{};
            event.type = SDL_USEREVENT + 5;
            while (SDL_PushEvent(&event) == 0) {
            }
            GameTest game;
            game.run();
            SDL_Delay(3000);
        },
        "unable to push render: ");
}

}  // namespace
