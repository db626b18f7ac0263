#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "framework/game.h"
#include "framework/gridlayout.h"
#include "support.h"

namespace {

using support::Surface;

// A game that only remembers which buttons reached it.
class Recorder : public Game {
  public:
    using Game::input;
    void run() override {}
    void input(int player, Button button) override { calls.emplace_back(player, button); }
    std::vector<std::pair<int, Game::Button>> calls;
};

struct Geometry {
    int w, h, cell, x0, y0;
};

class GridGeometry : public ::testing::TestWithParam<Geometry> {
  protected:
    support::SdlSession sdl;
};

TEST_P(GridGeometry, LayoutFollowsTheSurface) {
    const Geometry g = GetParam();
    const GridLayout grid(g.w, g.h);
    EXPECT_EQ(grid.cell, g.cell);
    EXPECT_EQ(grid.x0, g.x0);
    EXPECT_EQ(grid.y0, g.y0);
}

// Each cell gets a colour of its own, so a cell drawn in the wrong place shows.
TEST_P(GridGeometry, RenderPaintsEveryCellInPlaceAndNothingElse) {
    const Geometry g = GetParam();
    Recorder game;
    for (unsigned x = 0; x < 9; ++x) {
        for (unsigned y = 0; y < 9; ++y) {
            game.set_pixel(x, y,
                           {static_cast<Uint8>(10 + x * 20), static_cast<Uint8>(10 + y * 20), 7});
        }
    }
    Surface surface(g.w, g.h);
    surface.fill(255, 0, 255);
    game.render(surface.get());

    const int s = g.cell;
    for (int x = 0; x < 9 && s > 0; ++x) {
        for (int y = 0; y < 9; ++y) {
            const std::array<int, 3> want{10 + x * 20, 10 + y * 20, 7};
            const int left = g.x0 + x * s;
            const int top = g.y0 + y * s;
            EXPECT_EQ(surface.count(left, top, s, s, want), s * s) << "cell " << x << "," << y;
        }
    }
    const int untouched = surface.count(0, 0, g.w, g.h, {255, 0, 255});
    EXPECT_EQ(untouched, g.w * g.h - 81 * s * s);
}

INSTANTIATE_TEST_SUITE_P(Sizes, GridGeometry,
                         ::testing::Values(Geometry{550, 450, 50, 50, 0},
                                           Geometry{800, 450, 50, 175, 0},
                                           Geometry{550, 600, 50, 50, 75},
                                           Geometry{560, 455, 50, 55, 2},
                                           Geometry{10, 450, 0, 5, 225},
                                           Geometry{550, 8, 0, 275, 4}, Geometry{1, 1, 0, 0, 0}),
                         support::size_name<Geometry>);

TEST(GameCells, StartBlackAndKeepWhatIsSet) {
    Recorder game;
    for (unsigned x = 0; x < 9; ++x) {
        for (unsigned y = 0; y < 9; ++y) {
            const Game::Color c = game.get_pixel(x, y);
            ASSERT_EQ(c.r + c.g + c.b, 0);
        }
    }
    game.set_pixel(3, 2, {1, 2, 3});
    const Game::Color c = game.get_pixel(3, 2);
    EXPECT_EQ(c.r, 1);
    EXPECT_EQ(c.g, 2);
    EXPECT_EQ(c.b, 3);
    // Element 21 is column 3 of row 2: its neighbours in storage stay black.
    EXPECT_EQ(game.get_pixel(2, 2).r, 0);
    EXPECT_EQ(game.get_pixel(4, 2).r, 0);
    game.set_pixel(8, 8, {9, 9, 9});
    EXPECT_EQ(game.get_pixel(8, 8).r, 9);
}

TEST(GameCells, OutOfRangeReadsNameTheCoordinate) {
    Recorder game;
    const auto message = [&](unsigned x, unsigned y) {
        try {
            static_cast<void>(game.get_pixel(x, y));
        } catch (const std::out_of_range& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(9, 0), "x");
    EXPECT_EQ(message(9, 9), "x");
    EXPECT_EQ(message(0, 9), "y");
    EXPECT_EQ(message(0xffffffffU, 3), "x");
}

TEST(GameCells, OutOfRangeWritesChangeNoCell) {
    Recorder game;
    // (9, 0) would be element 9, which is (0, 1); (0, 9) would lie past the storage.
    game.set_pixel(9, 0, {255, 255, 255});
    game.set_pixel(0, 9, {255, 255, 255});
    game.set_pixel(100, 100, {255, 255, 255});
    for (unsigned x = 0; x < 9; ++x) {
        for (unsigned y = 0; y < 9; ++y) {
            ASSERT_EQ(game.get_pixel(x, y).r, 0) << x << "," << y;
        }
    }
}

// A timer thread paints while the main thread draws: every frame must show each cell
// whole, in its old or its new colour (and the thread sanitizer must see no race).
TEST(GameCells, DrawingWhileAnotherThreadPaints) {
    support::SdlSession sdl;
    Recorder game;
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        Uint8 level = 0;
        while (!stop) {
            level = level == 0 ? 200 : 0;
            for (unsigned i = 0; i < 81; ++i) {
                game.set_pixel(i % 9, i / 9, {level, level, level});
            }
        }
    });
    Surface surface(110, 90);
    for (int frame = 0; frame < 200; ++frame) {
        game.render(surface.get());
        for (int i = 0; i < 81; ++i) {
            const auto colour = surface.rgb(10 + (i % 9) * 10 + 5, (i / 9) * 10 + 5);
            ASSERT_TRUE(colour == support::BLACK || colour == (std::array<int, 3>{200, 200, 200}));
        }
    }
    stop = true;
    painter.join();
}

struct KeyCase {
    Uint8 type;
    SDLKey key;
    SDLMod mod;
    int player;  // -1: no call expected
    Game::Button button;
};

class KeyMapping : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyMapping, PressesBecomeButtonsOfOnePlayer) {
    const KeyCase k = GetParam();
    Recorder game;
    game.input(support::key_event(k.type, k.key, k.mod));
    if (k.player < 0) {
        EXPECT_TRUE(game.calls.empty());
    } else {
        ASSERT_EQ(game.calls.size(), 1U);
        EXPECT_EQ(game.calls[0].first, k.player);
        EXPECT_EQ(game.calls[0].second, k.button);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMapping,
    ::testing::Values(KeyCase{SDL_KEYDOWN, SDLK_w, KMOD_NONE, 0, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_s, KMOD_NONE, 0, Game::DOWN},
                      KeyCase{SDL_KEYDOWN, SDLK_a, KMOD_NONE, 0, Game::LEFT},
                      KeyCase{SDL_KEYDOWN, SDLK_d, KMOD_NONE, 0, Game::RIGHT},
                      KeyCase{SDL_KEYDOWN, SDLK_w, KMOD_LSHIFT, 0, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_d, KMOD_CAPS, 0, Game::RIGHT},
                      KeyCase{SDL_KEYDOWN, SDLK_UP, KMOD_NONE, 1, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_DOWN, KMOD_NONE, 1, Game::DOWN},
                      KeyCase{SDL_KEYDOWN, SDLK_LEFT, KMOD_NONE, 1, Game::LEFT},
                      KeyCase{SDL_KEYDOWN, SDLK_RIGHT, KMOD_NONE, 1, Game::RIGHT},
                      KeyCase{SDL_KEYUP, SDLK_w, KMOD_NONE, -1, Game::UP},
                      KeyCase{SDL_KEYUP, SDLK_LEFT, KMOD_NONE, -1, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_q, KMOD_NONE, -1, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_SPACE, KMOD_NONE, -1, Game::UP},
                      KeyCase{SDL_KEYDOWN, SDLK_KP8, KMOD_NONE, -1, Game::UP}));

TEST(KeyMapping, MouseAndWindowEventsAreIgnored) {
    Recorder game;
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    game.input(event);
    event.type = SDL_MOUSEBUTTONDOWN;
    game.input(event);
    event.type = SDL_VIDEOEXPOSE;
    game.input(event);
    EXPECT_TRUE(game.calls.empty());
}

// Odd cell sizes and odd leftovers: the origin is the leftover halved once, rounded
// down, never each half rounded on its own.
INSTANTIATE_TEST_SUITE_P(OddSizes, GridGeometry,
                         ::testing::Values(Geometry{600, 459, 51, 70, 0},
                                           Geometry{571, 600, 51, 56, 70},
                                           Geometry{573, 527, 52, 52, 29}),
                         support::size_name<Geometry>);

}  // namespace
