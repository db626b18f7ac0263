#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/game.h"
#include "framework/games.h"
#include "framework/gridlayout.h"
#include "games/duel/computer.h"
#include "games/duel/gamejedi.h"
#include "screens/gameover.h"
#include "screens/splash.h"
#include "shell/controls.h"
#include "shell/director.h"
#include "shell/events.h"
#include "support.h"
#if !defined(_WIN32)
#include "virtual_pads.h"
#endif

struct DirectorProbe {
    static void show(Director& director, SDL_Surface* screen, Renderable* current, int score0,
                     int score1) {
        director.screen = screen;
        director.current = current;
        director.score0 = score0;
        director.score1 = score1;
    }
    static SDL_Surface* screen(const Director& director) { return director.screen; }
    static Renderable* current(const Director& director) { return director.current; }
    static std::pair<int, int> scores(const Director& director) {
        return {director.score0, director.score1};
    }
    static bool dispatch(Director& director, const SDL_Event& event, Games& games,
                         GameOver& gameover) {
        return director.dispatch(event, games, gameover);
    }
    static const Computer* computer(const Director& director) {
        return director.controls->computer();
    }
    static bool look(Director& director, SDL_Event& event) {
        return director.controls->look(event);
    }
    static const Frame& frame(const Director& director) { return director.frame; }
};

struct GamesProbe {
    static const std::vector<Game*>& games(const Games& catalogue) { return catalogue.games; }
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
    // How many events fit is the library's own choice (127 in SDL 1.2, 128 in
    // sdl12-compat); what the game relies on is the error once they no longer fit.
    int posted = 0;
    const auto fill_until_error = [&posted](void (*post)()) {
        for (int i = 0; i < 1000; ++i) {
            try {
                post();
                ++posted;
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
    EXPECT_GT(posted, 0);
    EXPECT_EQ(support::drain_events().size(), static_cast<std::size_t>(posted));
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

// The players' frame: what the window shows, one colour a cell, composed with it at every
// size, a window too narrow to show any cell included (a friend's device still gets it).
TEST(PlayersFrame, IsTheWindowCellByCellAtEverySize) {
    Director director;
    Lit game;
    game.set_pixel(0, 0, {255, 0, 0});
    game.set_pixel(8, 8, {0, 0, 255});
    game.set_pixel(4, 2, {0, 0, 0});
    const auto colour = [](const Game::Color& c) { return std::array<int, 3>{c.r, c.g, c.b}; };
    for (const auto& [w, h] : {std::pair{550, 450}, std::pair{800, 600}, std::pair{8, 450},
                               std::pair{550, 5}, std::pair{1, 1}}) {
        Surface surface(w, h);
        DirectorProbe::show(director, surface.get(), &game, 3, 9);
        director.render();
        const Frame& frame = DirectorProbe::frame(director);
        for (int row = 0; row < 9; ++row) {
            // Three points fill player 0's bottom three cells; nine all of player 1's.
            EXPECT_EQ(colour(frame.at(-1, row)), row >= 6 ? support::GREEN : support::GREY)
                << w << "x" << h << " row " << row;
            EXPECT_EQ(colour(frame.at(9, row)), support::GREEN) << w << "x" << h;
            for (int column = 0; column < 9; ++column) {
                const Game::Color cell = game.get_pixel(column, row);
                EXPECT_EQ(colour(frame.at(column, row)), colour(cell))
                    << w << "x" << h << " cell " << column << "," << row;
                const GridLayout grid(w, h);
                if (grid.cell > 0) {  // and the window shows the same, at each cell's middle
                    const SDL_Rect rect = grid.cells(column, row);
                    EXPECT_EQ(surface.rgb(rect.x + grid.cell / 2, rect.y + grid.cell / 2),
                              colour(cell));
                }
            }
        }
    }
    // The splash is no game of cells, yet its frame is its mark as the window shows it.
    Splash splash;
    Surface surface(110, 90);
    DirectorProbe::show(director, surface.get(), &splash, 0, 0);
    director.render();
    const Frame& frame = DirectorProbe::frame(director);
    int lit = 0;
    for (int row = 0; row < 9; ++row) {
        for (int column = -1; column < 10; ++column) {
            const std::array<int, 3> seen = surface.rgb(column * 10 + 15, row * 10 + 5);
            EXPECT_EQ(colour(frame.at(column, row)), seen) << column << "," << row;
            lit += seen == support::WHITE ? 1 : 0;
        }
    }
    EXPECT_EQ(lit, 20);  // the B and the R
}

// The keys a screen is handed in a match of `mode`, on the big screen or not, '+' down and
// '-' up, for `presses`.
template <std::size_t N>
std::vector<std::pair<char, int>> keys_handed(Play::Mode mode, const SDL_Event (&presses)[N],
                                              bool pads = false) {
    struct Keys : Renderable {
        void run() override {}
        void render(SDL_Surface* /*surface*/) override {}
        void input(SDL_Event event) override {
            if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) {
                got.emplace_back(event.type == SDL_KEYDOWN ? '+' : '-', event.key.keysym.sym);
            }
        }
        std::vector<std::pair<char, int>> got;
    };
    Director director(Play{mode, 0, pads});
    Games games;
    GameOver gameover;
    Keys keys;
    DirectorProbe::show(director, DirectorProbe::screen(director), &keys, 0, 0);
    for (const SDL_Event& event : presses) {
        EXPECT_TRUE(DirectorProbe::dispatch(director, event, games, gameover));
    }
    return keys.got;
}

// Whose key each press is: at one keyboard each set is its player's; alone, and hosting a
// friend, every key here plays player 0, and the friend plays player 1 until they go; a
// key held across their going comes up as the key it went down as.
TEST(WhoseKey, EachSourcePlaysThePlayerTheMatchGivesIt) {
    const auto friend_press = [](Game::Button way, bool down) {
        SDL_Event event{};
        event.user.type = BR_FRIEND;
        event.user.code = way + (down ? FRIEND_DOWN : 0);
        return event;
    };
    SDL_Event gone{};
    gone.user.type = BR_FRIEND_GONE;
    const SDL_Event presses[] = {
        support::key_event(SDL_KEYDOWN, SDLK_w),
        support::key_event(SDL_KEYDOWN, SDLK_UP),
        friend_press(Game::LEFT, true),
        friend_press(Game::LEFT, false),
        gone,
        support::key_event(SDL_KEYUP, SDLK_UP),
        support::key_event(SDL_KEYDOWN, SDLK_UP),
        friend_press(Game::DOWN, true),
        support::key_event(SDL_KEYDOWN, SDLK_q),
    };
    using Got = std::vector<std::pair<char, int>>;
    const struct {
        Play::Mode mode;
        Got got;
    } cases[] = {
        {Play::Mode::TWO,
         {{'+', SDLK_w}, {'+', SDLK_UP}, {'-', SDLK_UP}, {'+', SDLK_UP}, {'+', SDLK_q}}},
        {Play::Mode::ALONE,
         {{'+', SDLK_w}, {'+', SDLK_w}, {'-', SDLK_w}, {'+', SDLK_w}, {'+', SDLK_q}}},
        {Play::Mode::HOST,
         {{'+', SDLK_w},
          {'+', SDLK_w},
          {'+', SDLK_LEFT},
          {'-', SDLK_LEFT},
          {'-', SDLK_w},
          {'+', SDLK_UP},
          {'+', SDLK_q}}},
    };
    for (const auto& [mode, want] : cases) {
        EXPECT_EQ(keys_handed(mode, presses), want) << static_cast<int>(mode);
    }
}

// A friend's match held while they are not heard: every key held is let go at once, no
// press of anyone's counts, and once they are heard again presses count as before. At
// one keyboard there is no friend to wait for.
TEST(WhoseKey, AHeldMatchLetsEveryKeyGoAndTakesNoPressUntilItGoesOn) {
    const auto user = [](Uint8 type, int code) {
        SDL_Event event{};
        event.user.type = type;
        event.user.code = code;
        return event;
    };
    const SDL_Event presses[] = {
        support::key_event(SDL_KEYDOWN, SDLK_d),
        user(BR_FRIEND, Game::LEFT + FRIEND_DOWN),
        user(BR_HOLD, 1),
        support::key_event(SDL_KEYDOWN, SDLK_w),
        user(BR_FRIEND, Game::UP + FRIEND_DOWN),
        user(BR_FRIEND, Game::LEFT),
        support::key_event(SDL_KEYUP, SDLK_d),
        user(BR_HOLD, 0),
        support::key_event(SDL_KEYDOWN, SDLK_s),
        user(BR_FRIEND, Game::DOWN + FRIEND_DOWN),
    };
    using Got = std::vector<std::pair<char, int>>;
    const std::pair<Play::Mode, Got> cases[] = {
        {Play::Mode::HOST,
         {{'+', SDLK_d},
          {'+', SDLK_LEFT},
          {'-', SDLK_d},
          {'-', SDLK_LEFT},
          {'+', SDLK_s},
          {'+', SDLK_DOWN}}},
        {Play::Mode::TWO, {{'+', SDLK_d}, {'+', SDLK_w}, {'-', SDLK_d}, {'+', SDLK_s}}},
    };
    for (const auto& [mode, want] : cases) {
        EXPECT_EQ(keys_handed(mode, presses), want) << static_cast<int>(mode);
    }
}

// The big screen: a phone holding a side plays it and that side's keys play no one, while
// the other side's keys play on; a side given back, or taken, lets go of what its phone, or
// its keys, held. The computer's side is no phone's, and without the big screen no phone
// holds anything.
TEST(WhoseKey, APhoneHoldingASidePlaysItInsteadOfItsKeys) {
    const auto side = [](int player, bool taken) {
        SDL_Event event{};
        event.user.type = BR_SIDE;
        event.user.code = player * SIDE_CODES + (taken ? SIDE_TAKEN : SIDE_GIVEN_BACK);
        return event;
    };
    const auto pad = [](int player, Game::Button way, bool down) {
        SDL_Event event{};
        event.user.type = BR_SIDE;
        event.user.code = SIDE_PRESS + player * SIDE_CODES + (down ? FRIEND_DOWN : 0) + way;
        return event;
    };
    SDL_Event hold{};
    hold.user.type = BR_HOLD;
    hold.user.code = 1;
    const SDL_Event presses[] = {
        support::key_event(SDL_KEYDOWN, SDLK_d),
        side(0, true),
        support::key_event(SDL_KEYDOWN, SDLK_w),
        pad(0, Game::UP, true),
        support::key_event(SDL_KEYDOWN, SDLK_UP),
        pad(1, Game::LEFT, true),
        side(0, false),
        pad(0, Game::UP, false),
        support::key_event(SDL_KEYDOWN, SDLK_w),
        side(1, true),
        pad(1, Game::LEFT, true),
        hold,
    };
    using Got = std::vector<std::pair<char, int>>;
    const struct {
        Play::Mode mode;
        bool pads;
        Got got;
    } cases[] = {
        {Play::Mode::TWO,
         true,
         {{'+', SDLK_d},
          {'-', SDLK_d},
          {'+', SDLK_w},
          {'+', SDLK_UP},
          {'-', SDLK_w},
          {'+', SDLK_w},
          {'-', SDLK_UP},
          {'+', SDLK_LEFT},
          {'-', SDLK_w},
          {'-', SDLK_LEFT}}},
        {Play::Mode::ALONE,
         true,
         {{'+', SDLK_d},
          {'-', SDLK_d},
          {'+', SDLK_w},
          {'-', SDLK_w},
          {'+', SDLK_w},
          {'-', SDLK_w}}},
        {Play::Mode::TWO, false, {{'+', SDLK_d}, {'+', SDLK_w}, {'+', SDLK_UP}, {'+', SDLK_w}}},
    };
    for (const auto& [mode, pads, want] : cases) {
        EXPECT_EQ(keys_handed(mode, presses, pads), want) << static_cast<int>(mode) << pads;
    }
}

// --- The match loop, event by event --------------------------------------------------

// A screen that only remembers what reached it. The Director also draws every frame at
// one pixel a cell, for the players' frame: only the window's drawing counts here.
class Spy : public Renderable {
  public:
    void run() override { ++runs; }
    void render(SDL_Surface* surface) override {
        if (surface == SDL_GetVideoSurface()) {
            ++renders;
            last_width = surface->w;
        }
    }
    void input(SDL_Event event) override { inputs.push_back(event.type); }
    int runs = 0;
    int renders = 0;
    int last_width = 0;
    std::vector<int> inputs;
};

class MatchLoop : public ::testing::Test {
  protected:
    void SetUp() override { show(&spy, 0, 0); }
    void show(Renderable* screen, int score0, int score1) {
        DirectorProbe::show(director, DirectorProbe::screen(director), screen, score0, score1);
    }
    bool step(const SDL_Event& event) {
        return DirectorProbe::dispatch(director, event, games, gameover);
    }
    bool step(Uint8 type, int code = 0) {
        SDL_Event event{};
        event.type = type;
        event.user.code = code;
        return step(event);
    }
    Renderable* current() { return DirectorProbe::current(director); }
    std::pair<int, int> scores() { return DirectorProbe::scores(director); }

    Director director;
    Games games;
    Splash splash;
    GameOver gameover;
    Spy spy;
};

TEST_F(MatchLoop, EscPressedEndsEveryScreenAndEscReleasedIsPassedOn) {
    Renderable* screens[] = {&splash, GamesProbe::games(games)[0], &gameover, &spy};
    for (Renderable* screen : screens) {
        show(screen, 0, 0);
        EXPECT_FALSE(step(support::key_event(SDL_KEYDOWN, SDLK_ESCAPE)));
    }
    show(&spy, 0, 0);
    EXPECT_TRUE(step(support::key_event(SDL_KEYUP, SDLK_ESCAPE)));
    EXPECT_EQ(spy.inputs, std::vector<int>{SDL_KEYUP});
    EXPECT_FALSE(step(SDL_QUIT));
}

TEST_F(MatchLoop, EverythingElseGoesToTheCurrentScreen) {
    const Uint8 passed[] = {SDL_NOEVENT,      SDL_ACTIVEEVENT,     SDL_KEYUP,
                            SDL_MOUSEMOTION,  SDL_MOUSEBUTTONDOWN, SDL_JOYAXISMOTION,
                            SDL_SYSWMEVENT,   SDL_EVENT_RESERVEDA, SDL_EVENT_RESERVED2,
                            SDL_USEREVENT + 3};
    for (const Uint8 type : passed) {
        EXPECT_TRUE(step(type));
    }
    EXPECT_TRUE(step(support::key_event(SDL_KEYDOWN, SDLK_d)));
    EXPECT_EQ(spy.inputs.size(), std::size(passed) + 1);
    EXPECT_EQ(spy.inputs.back(), SDL_KEYDOWN);
    EXPECT_EQ(spy.renders, 0);
}

TEST_F(MatchLoop, WindowEventsAndRedrawRequestsDrawAFrame) {
    EXPECT_TRUE(step(BR_RENDER));
    EXPECT_TRUE(step(SDL_VIDEOEXPOSE));
    EXPECT_EQ(spy.renders, 2);
    SDL_Event resize{};
    resize.type = SDL_VIDEORESIZE;
    resize.resize.w = 640;
    resize.resize.h = 200;
    EXPECT_TRUE(step(resize));
    EXPECT_EQ(spy.renders, 3);
    EXPECT_EQ(spy.last_width, 640);
    EXPECT_EQ(DirectorProbe::screen(director)->h, 200);
    EXPECT_TRUE(spy.inputs.empty());
}

// Alone against the computer: the player's keys of both sets and both pads are player 0's,
// the computer's presses player 1's, and each round's result moves its level.
TEST(AloneLoop, ThePlayerHasBothKeySetsAndThePadsAndTheComputerPressesPlayerOnesArrows) {
    struct Recorder : Game {
        using Game::input;
        void run() override {}
        void input(int player, Button button) override { presses.emplace_back(player, button); }
        std::vector<std::pair<int, int>> presses;
    };
    Director director(Play{Play::Mode::ALONE, 0});
    Games games;
    GameOver gameover;
    Recorder duel;
    // The round's start as the computer sees it: it will step left toward player 0.
    duel.set_pixel(1, 4, {255, 255, 255});
    duel.set_pixel(2, 4, {255, 0, 0});
    duel.set_pixel(6, 4, {0, 0, 255});
    duel.set_pixel(7, 4, {255, 255, 255});
    DirectorProbe::show(director, DirectorProbe::screen(director), &duel, 0, 0);
    const auto step = [&](const SDL_Event& event) {
        return DirectorProbe::dispatch(director, event, games, gameover);
    };
    support::drain_events();
    const Uint32 shown = SDL_GetTicks();
    director.render();
    EXPECT_TRUE(step(support::key_event(SDL_KEYDOWN, SDLK_UP)));
    EXPECT_TRUE(step(support::key_event(SDL_KEYDOWN, SDLK_a)));
    SDL_Event hat{};
    hat.jhat.type = SDL_JOYHATMOTION;
    hat.jhat.which = 1;  // the second pad, player 1's at one keyboard
    hat.jhat.value = SDL_HAT_RIGHT;
    EXPECT_TRUE(step(hat));
    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(duel.presses, (P{{0, Game::UP}, {0, Game::LEFT}, {0, Game::RIGHT}}));
    duel.presses.clear();
    // The computer wakes itself when its reaction has passed, and presses left.
    SDL_Event event;
    while (duel.presses.empty() && SDL_GetTicks() - shown < 3000) {
        if (support::poll_event(event)) {
            EXPECT_TRUE(step(event));
        }
        SDL_Delay(1);
    }
    EXPECT_GE(SDL_GetTicks() - shown, Computer::START_MS);
    EXPECT_EQ(duel.presses, (P{{1, Game::LEFT}}));
    // A round the player won makes it quicker, and the point is the player's.
    SDL_Event report{};
    report.type = BR_GAMEOVER;
    report.user.code = -1;
    EXPECT_TRUE(step(report));
    EXPECT_EQ(DirectorProbe::scores(director), std::make_pair(1, 0));
    EXPECT_LT(DirectorProbe::computer(director)->reaction(), Computer::START_MS);
}

TEST_F(MatchLoop, RoundReportsScoreAndStartTheNextRound) {
    Game* duel = GamesProbe::games(games)[0];
    show(&splash, 0, 0);
    EXPECT_TRUE(step(BR_GAMEOVER, 0));  // the splash's report: nobody scores
    EXPECT_EQ(current(), duel);
    EXPECT_EQ(scores(), std::make_pair(0, 0));
    EXPECT_TRUE(step(BR_GAMEOVER, -1));
    EXPECT_EQ(scores(), std::make_pair(1, 0));
    EXPECT_TRUE(step(BR_GAMEOVER, 1));
    EXPECT_TRUE(step(BR_GAMEOVER, 1));
    EXPECT_EQ(scores(), std::make_pair(1, 2));
    EXPECT_TRUE(step(BR_GAMEOVER, 7));
    EXPECT_TRUE(step(BR_GAMEOVER, -2));
    EXPECT_EQ(scores(), std::make_pair(1, 2));
    EXPECT_EQ(current(), duel);
    // Each new round was started: its picture is up and a redraw request is queued.
    EXPECT_EQ(support::drain_events().size(), 6U);
}

TEST_F(MatchLoop, TheNinthPointEndsTheMatchAndTheNextReportTheProgram) {
    for (const auto& [score0, score1, code, winner] :
         {std::tuple{8, 3, -1, -1}, std::tuple{5, 8, 1, 1}}) {
        GameOver last;
        SDL_Event report{};
        report.type = BR_GAMEOVER;
        report.user.code = code;
        show(GamesProbe::games(games)[0], score0, score1);
        EXPECT_TRUE(DirectorProbe::dispatch(director, report, games, last));
        EXPECT_EQ(current(), &last);
        EXPECT_EQ(last.winner, winner);
        const auto [after0, after1] = scores();
        EXPECT_EQ(std::max(after0, after1), 9);
        // A late second report from the last round, or the screen's own: the end.
        EXPECT_FALSE(DirectorProbe::dispatch(director, report, games, last));
        report.user.code = 0;
        EXPECT_FALSE(DirectorProbe::dispatch(director, report, games, last));
        EXPECT_EQ(scores(), std::make_pair(after0, after1));
    }
}

TEST(Catalogue, HoldsTheDuelAndPicksWithOneRandomNumber) {
    Director director;
    Games games;
    ASSERT_EQ(GamesProbe::games(games).size(), 1U);
    EXPECT_NE(dynamic_cast<GameJedi*>(GamesProbe::games(games)[0]), nullptr);
    std::srand(99);
    std::rand();
    const int third = (std::rand(), std::rand());
    std::srand(99);
    EXPECT_EQ(games.get_random(), GamesProbe::games(games)[0]);
    EXPECT_EQ(games.get_random(), GamesProbe::games(games)[0]);
    EXPECT_EQ(std::rand(), third);
}

TEST(Catalogue, AClipThatCannotLoadEndsConstruction) {
    support::SdlSession sdl(SDL_INIT_AUDIO);  // no mixer open: the first clip fails
    try {
        Games games;
        ADD_FAILURE() << "the catalogue was built";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(
            error.what(),
            "unable to load sound strike0 from game gamejedi: Audio device hasn't been opened");
    }
}

// Eight points are not yet the match: a round that brings either player to eight
// starts another round.
TEST_F(MatchLoop, EightPointsPlayOn) {
    Game* duel = GamesProbe::games(games)[0];
    for (const auto& [score0, score1, code] : {std::tuple{7, 8, -1}, std::tuple{8, 7, 1}}) {
        show(duel, score0, score1);
        EXPECT_TRUE(step(BR_GAMEOVER, code));
        EXPECT_EQ(scores(), std::make_pair(8, 8));
        EXPECT_EQ(current(), duel);
    }
    support::drain_events();
}

// --- The players' pads ---------------------------------------------------------------

using input::axis_event;
using input::button_event;
using input::hat_event;

constexpr std::array<int, 3> RED{255, 0, 0};
constexpr std::array<int, 3> BLUE{0, 0, 255};

// The layout this run's library shows pads in, as the run's environment says.
Pads::Layout expected_layout() {
    const char* said = std::getenv("BRELVO_EXPECT_LAYOUT");
    return said != nullptr && std::string(said) == "controller" ? Pads::Layout::CONTROLLER
                                                                : Pads::Layout::RAW;
}

// A duel from its start, played through SDL's queue as the match loop plays it, and seen
// in the frames the Director draws.
class PadMatch : public ::testing::Test {
  protected:
    void SetUp() override {
        duel = GamesProbe::games(games)[0];
        DirectorProbe::show(director, frame.get(), duel, 0, 0);
        duel->run();
    }

    // Queues the events and dispatches everything queued; false once the match has ended.
    bool play(const std::vector<SDL_Event>& events) {
        for (SDL_Event event : events) {
            SDL_PushEvent(&event);
        }
        watch([] { return false; }, 0);
        return !ended;
    }

    // Dispatches what arrives until `seen` holds, the match ends or `ms` have passed.
    template <typename Condition>
    bool watch(Condition seen, Uint32 ms) {
        const Uint32 end = SDL_GetTicks() + ms;
        do {
            SDL_Event event;
            while (!ended && DirectorProbe::look(director, event)) {
                if (event.type == BR_PADS) {
                    ++reads;
                }
                if (event.type != SDL_ACTIVEEVENT) {
                    ended = !DirectorProbe::dispatch(director, event, games, gameover);
                }
            }
            if (ended || seen()) {
                break;
            }
            SDL_Delay(1);
        } while (SDL_GetTicks() < end);
        return seen();
    }

    // Grid cell (x, y) of the last frame, 550 by 450: cells of 50 from (50, 0).
    std::array<int, 3> cell(int x, int y) const { return frame.rgb(75 + x * 50, 25 + y * 50); }

    Director director;
    Games games;
    GameOver gameover;
    Game* duel = nullptr;
    support::Surface frame{550, 450};
    bool ended = false;
    int reads = 0;  // the BR_PADS the loop has looked at: the pads read for a change
};

TEST_F(PadMatch, BothPlayersStepWithTheirPadsAndTheReArmHolds) {
    ASSERT_TRUE(play({}));
    ASSERT_EQ(cell(2, 4), RED);
    // One press each, then player 0 presses again at once: inside its 50 ms, dropped. Only
    // a machine that took longer than that to hand the four over (a sanitizer's, loaded)
    // may have the second press taken.
    const Uint32 began = SDL_GetTicks();
    ASSERT_TRUE(play({hat_event(0, SDL_HAT_RIGHT), axis_event(1, 0, -32768),
                      hat_event(0, SDL_HAT_CENTERED), hat_event(0, SDL_HAT_RIGHT)}));
    const Uint32 took = SDL_GetTicks() - began;
    const int body = cell(4, 4) == RED ? 3 : 2;  // where player 0 stands
    EXPECT_TRUE(body == 2 || took >= 50) << "a press inside its 50 ms was taken, " << took << " ms";
    EXPECT_EQ(cell(body - 1, 4), support::BLACK);
    EXPECT_EQ(cell(body, 4), support::WHITE);
    EXPECT_EQ(cell(body + 1, 4), RED);
    EXPECT_EQ(cell(body + 2, 4), body == 2 ? support::BLACK : BLUE);
    EXPECT_EQ(cell(5, 4), BLUE);
    EXPECT_EQ(cell(6, 4), support::WHITE);
    // Once the wait is over the same press is taken (pressed again, as a player would,
    // while a loaded machine holds the re-arm back).
    for (int tries = 0; tries < 20 && cell(4, 4) != RED; ++tries) {
        SDL_Delay(60);
        ASSERT_TRUE(play({hat_event(0, SDL_HAT_CENTERED), hat_event(0, SDL_HAT_RIGHT)}));
    }
    EXPECT_EQ(cell(3, 4), support::WHITE);
    EXPECT_EQ(cell(4, 4), RED);
}

TEST_F(PadMatch, BackEndsTheMatchOnlyWhereTheLayoutNamesIt) {
    const bool controller = expected_layout() == Pads::Layout::CONTROLLER;
    EXPECT_EQ(Joysticks::layout(), expected_layout());
    // The controller layout's d-pad up: player 1 turns its blade up.
    ASSERT_TRUE(play({button_event(1, 11, true), button_event(1, 11, false)}));
    EXPECT_EQ(cell(7, 3), controller ? BLUE : support::BLACK);
    EXPECT_EQ(cell(6, 4), controller ? support::BLACK : BLUE);
    for (Uint8 button = 0; button < 32; ++button) {
        if (button != 4) {
            EXPECT_TRUE(play({button_event(0, button, true), button_event(0, button, false)}))
                << int{button};
        }
    }
    EXPECT_EQ(play({button_event(0, 4, true)}), !controller) << "Back";
}

TEST_F(PadMatch, TheJoysticksOpenAtStartAndNoPadAsksToBeRead) {
    EXPECT_NE(SDL_WasInit(SDL_INIT_JOYSTICK), 0U);
    ASSERT_EQ(SDL_NumJoysticks(), 0) << "this test wants a machine without pads";
    watch([] { return false; }, 30);
    EXPECT_EQ(reads, 0);
}

#if !defined(_WIN32)
// Two of SDL2's virtual pads, attached before the Director starts SDL: over sdl12-compat,
// where SDL 1.2 is SDL2 underneath.
struct TwoVirtualPads {
    TwoVirtualPads() {
        setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);  // the hidden window has no focus
        attached = SDL_Linked_Version()->patch >= 50 && sdl2.attach() >= 0 && sdl2.attach() >= 0;
    }
    virtual_pads::Sdl2 sdl2;
    bool attached = false;
};

class PadPolling : protected TwoVirtualPads, public PadMatch {
  protected:
    void SetUp() override {
        if (!attached) {
            GTEST_SKIP() << "needs sdl12-compat and SDL2's virtual joysticks";
        }
        PadMatch::SetUp();
    }
};

// The pads as the library shows them: by events in the raw layout, only by polling in
// the controller layout.
TEST_F(PadPolling, BothPlayersStepAndBackIsEscInTheControllerLayout) {
    const bool controller = expected_layout() == Pads::Layout::CONTROLLER;
    ASSERT_EQ(SDL_NumJoysticks(), 2);
    // Pads at rest are never asked to be read: nothing wakes the loop for them.
    watch([] { return false; }, 50);
    EXPECT_EQ(reads, 0);
    ASSERT_TRUE(controller ? sdl2.set(0, 'b', 14, 1) : sdl2.set(0, 'h', 0, SDL_HAT_RIGHT));
    ASSERT_TRUE(sdl2.set(1, 'a', 0, -32768));
    EXPECT_TRUE(watch([this] { return cell(3, 4) == RED && cell(5, 4) == BLUE; }, 3000));
    // Held, they are read once for the change and not again.
    const int read_for_the_press = reads;
    watch([] { return false; }, 50);
    EXPECT_EQ(reads, read_for_the_press);
    EXPECT_LE(reads, controller ? 2 : 0);
    ASSERT_TRUE(controller ? sdl2.set(0, 'b', 14, 0) : sdl2.set(0, 'h', 0, SDL_HAT_CENTERED));
    ASSERT_TRUE(sdl2.set(1, 'a', 0, 0));
    // Down, from a stick that rests in the centre a moment first (pushed again, as a
    // player would, while a loaded machine holds the re-arm back).
    bool turned = false;
    for (int tries = 0; tries < 20 && !turned; ++tries) {
        watch([] { return false; }, 60);
        ASSERT_TRUE(sdl2.set(1, 'a', 1, 32767));
        turned = watch([this] { return cell(6, 5) == BLUE; }, 200);
        ASSERT_TRUE(sdl2.set(1, 'a', 1, 0));
    }
    EXPECT_TRUE(turned) << "player 1 turns down";
    ASSERT_TRUE(sdl2.set(0, 'b', 4, 1));
    watch([] { return false; }, 300);
    EXPECT_EQ(ended, controller) << "Back";
}
#endif

}  // namespace
