#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "framework/game.h"
#include "shell/director.h"
#include "shell/events.h"
#include "support.h"

struct DirectorProbe {
    static void show(Director& director, SDL_Surface* screen, Renderable* current, int score0,
                     int score1) {
        director.screen = screen;
        director.current = current;
        director.score0 = score0;
        director.score1 = score1;
    }
    static SDL_Surface* screen(const Director& director) { return director.screen; }
};

namespace {

using support::Surface;

class Lit : public Game {
  public:
    using Game::input;
    Lit() {
        for (unsigned i = 0; i < 81; ++i) {
            set_pixel(i % 9, i / 9, {255, 255, 255});
        }
    }
    void run() override {}
    void input(int /*player*/, Button /*button*/) override {}
};

TEST(DirectorStart, OpensTheWindowAndTheMixer) {
    Director director;
    const SDL_Surface* screen = DirectorProbe::screen(director);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen, SDL_GetVideoSurface());
    EXPECT_EQ(screen->w, 550);
    EXPECT_EQ(screen->h, 450);

    char* title = nullptr;
    char* icon = nullptr;
    SDL_WM_GetCaption(&title, &icon);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "Brelvo");
    EXPECT_EQ(icon, nullptr);

    int rate = 0;
    Uint16 format = 0;
    int channels = 0;
    ASSERT_EQ(Mix_QuerySpec(&rate, &format, &channels), 1);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(format, AUDIO_S16LSB);
    EXPECT_EQ(channels, 2);

    director.set_video(321, 123);
    EXPECT_EQ(DirectorProbe::screen(director)->w, 321);
    EXPECT_EQ(DirectorProbe::screen(director)->h, 123);
}

TEST(DirectorStart, TheMediaLibraryIsShutDownAfterward) {
    { Director director; }
    EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0U);
    EXPECT_EQ(Mix_QuerySpec(nullptr, nullptr, nullptr), 0);
}

class DirectorEvents : public ::testing::Test {
  protected:
    support::SdlSession sdl{SDL_INIT_VIDEO};
};

TEST_F(DirectorEvents, EachReportPostsOneEventWithItsCode) {
    ASSERT_TRUE(sdl.ok);
    support::drain_events();
    Director::push_render();
    Director::game_over(1);
    Director::game_over(-1);
    Director::game_over(7);
    const auto events = support::drain_events();
    ASSERT_EQ(events.size(), 4U);
    const int types[] = {24, 25, 25, 25};
    const int codes[] = {0, 1, -1, 7};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].type, types[i]);
        EXPECT_EQ(events[i].user.type, types[i]);
        EXPECT_EQ(events[i].user.code, codes[i]);
        EXPECT_EQ(events[i].user.data1, nullptr);
        EXPECT_EQ(events[i].user.data2, nullptr);
    }
}

TEST_F(DirectorEvents, AFullQueueIsAnError) {
    ASSERT_TRUE(sdl.ok);
    support::drain_events();
    const auto fill_until_error = [](void (*post)()) {
        for (int i = 0; i < 1000; ++i) {
            try {
                post();
            } catch (const std::runtime_error& error) {
                return std::string(error.what());
            }
        }
        return std::string("never failed");
    };
    const std::string render = fill_until_error([] { Director::push_render(); });
    EXPECT_EQ(render.rfind("unable to push render: ", 0), 0U) << render;
    const std::string over = fill_until_error([] { Director::game_over(-1); });
    EXPECT_EQ(over.rfind("unable to push game over: ", 0), 0U) << over;
    // The queue held every event posted before it filled, none lost silently.
    EXPECT_EQ(support::drain_events().size(), 127U);
}

struct Column {
    int w, h, cell, x0, y0;
};

class DirectorFrame : public ::testing::TestWithParam<Column> {
  protected:
    Director director;
};

// Both score columns and the grid between them, at 0, 3 and 9 points.
TEST_P(DirectorFrame, ScoreColumnsHugTheGrid) {
    const Column c = GetParam();
    Lit game;
    for (const auto& [score0, score1] : {std::pair{0, 9}, std::pair{3, 0}, std::pair{9, 3}}) {
        Surface surface(c.w, c.h);
        surface.fill(1, 2, 3);
        DirectorProbe::show(director, surface.get(), &game, score0, score1);
        director.render();
        const int s = c.cell;
        const auto column_ok = [&](int left, int points) {
            const int green =
                surface.count(left, c.y0 + (9 - points) * s, s, points * s, support::GREEN);
            const int grey = surface.count(left, c.y0, s, (9 - points) * s, support::GREY);
            return green == points * s * s && grey == (9 - points) * s * s;
        };
        EXPECT_TRUE(column_ok(c.x0 - s, score0)) << "left at " << score0;
        EXPECT_TRUE(column_ok(c.x0 + 9 * s, score1)) << "right at " << score1;
        EXPECT_EQ(surface.count(c.x0, c.y0, 9 * s, 9 * s, support::WHITE), 81 * s * s);
        // The rest of the frame is background.
        EXPECT_EQ(surface.count(0, 0, c.w, c.h, support::BLACK), c.w * c.h - 11 * 9 * s * s);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DirectorFrame,
                         ::testing::Values(Column{550, 450, 50, 50, 0},
                                           Column{800, 450, 50, 175, 0},
                                           Column{550, 600, 50, 50, 75},
                                           Column{560, 455, 50, 55, 2}, Column{10, 40, 0, 5, 20},
                                           Column{40, 8, 0, 20, 4}),
                         support::size_name<Column>);

TEST(DirectorFrameNumbers, ThreePointsAtTheStartingSize) {
    Director director;
    Lit game;
    Surface surface(550, 450);
    DirectorProbe::show(director, surface.get(), &game, 3, 0);
    director.render();
    // Green from (0, 300), 50 by 150; grey from (0, 0), 50 by 300.
    EXPECT_EQ(surface.rgb(0, 300), support::GREEN);
    EXPECT_EQ(surface.rgb(49, 449), support::GREEN);
    EXPECT_EQ(surface.rgb(0, 299), support::GREY);
    EXPECT_EQ(surface.rgb(49, 0), support::GREY);
    EXPECT_EQ(surface.rgb(500, 0), support::GREY);
    EXPECT_EQ(surface.rgb(549, 449), support::GREY);
    EXPECT_EQ(surface.rgb(50, 0), support::WHITE);
}

}  // namespace
