#include "shell/director.h"

#include <SDL_mixer.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "framework/game.h"
#include "framework/games.h"
#include "framework/gridlayout.h"
#include "framework/renderable.h"
#include "platform/joysticks.h"
#include "platform/media.h"
#include "platform/outlet.h"
#include "screens/gameover.h"
#include "screens/splash.h"
#include "shell/controls.h"
#include "shell/events.h"

namespace {

constexpr int POINTS_TO_WIN = 9;
constexpr Uint32 MEDIA = SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO;

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + SDL_GetError());
}

void post(Uint8 type, int code, const char* what) {
    SDL_Event event{};
    event.user.type = type;
    event.user.code = code;
    event.user.data1 = nullptr;
    event.user.data2 = nullptr;
    if (SDL_PushEvent(&event) < 0) {
        fail(what);
    }
}

// A score column: one cell per point won, filled from the bottom, grey above.
void draw_score(SDL_Surface* surface, const GridLayout& grid, int column, int points) {
    SDL_Rect won = grid.cells(column, POINTS_TO_WIN - points, 1, points);
    SDL_FillRect(surface, &won, SDL_MapRGB(surface->format, 0, 255, 0));
    SDL_Rect open = grid.cells(column, 0, 1, POINTS_TO_WIN - points);
    SDL_FillRect(surface, &open, SDL_MapRGB(surface->format, 100, 100, 100));
}

}  // namespace

Director::Director(const Play& setup) {
    start_media(MEDIA);
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        fail("unable to init SDL_mixer: ");
    }
    SDL_WM_SetCaption("Brelvo", nullptr);
    set_video(550, 450);
    // Red in the low byte, as Frame reads it back; no alpha.
    cells.reset(SDL_CreateRGBSurface(SDL_SWSURFACE, Frame::COLUMNS, Frame::ROWS, 32, 0x000000FFU,
                                     0x0000FF00U, 0x00FF0000U, 0));
    if (!cells) {
        fail("unable to set video: ");
    }
    controls = std::make_unique<Controls>(setup);
}

Director::~Director() {
    controls.reset();
    cells.reset();
    Mix_CloseAudio();
    SDL_Quit();
}

void Director::SurfaceFree::operator()(SDL_Surface* surface) const {
    SDL_FreeSurface(surface);
}

void Director::set_video(int width, int height) {
    screen = SDL_SetVideoMode(width, height, 0, SDL_RESIZABLE);
    if (screen == nullptr) {
        fail("unable to set video: ");
    }
}

void Director::run() {
    Games games;
    Splash splash;
    GameOver gameover;
    current = &splash;
    score0 = 0;
    score1 = 0;
    splash.run();
    render();
    SDL_Event event;
    do {
        if (!controls->wait(event)) {
            fail("unable to wait for event: ");
        }
    } while (dispatch(event, games, gameover));
    // Leaving: the screens cancel their timers as they go, waiting for a callback that
    // is running, so none can reach a screen after it is destroyed.
}

bool Director::dispatch(const SDL_Event& event, Games& games, GameOver& gameover) {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                return false;
            }
            return hand(controls->keys(event));
        case SDL_QUIT:
            return false;
        case SDL_VIDEORESIZE:
            set_video(event.resize.w, event.resize.h);
            render();
            return true;
        case SDL_VIDEOEXPOSE:
        case BR_RENDER:
            render();
            return true;
        case BR_GAMEOVER:
            return end_round(event.user.code, games, gameover);
        default:
            if (Joysticks::reports(event.type)) {
                input(event);  // the screen sees the pad as it is, then the keys it makes
            }
            return hand(controls->keys(event));
    }
}

bool Director::end_round(int code, Games& games, GameOver& gameover) {
    if (current == &gameover) {
        return false;  // the game-over screen's own report ends the program
    }
    controls->round_over(code);
    if (code == -1) {
        ++score0;
    } else if (code == 1) {
        ++score1;
    }
    if (score0 < POINTS_TO_WIN && score1 < POINTS_TO_WIN) {
        current = games.get_random();
    } else {
        gameover.winner = score0 >= POINTS_TO_WIN ? -1 : 1;
        current = &gameover;
    }
    current->run();
    return true;  // the new screen asks for its first frame itself
}

bool Director::hand(const std::vector<SDL_Event>& keys) {
    // In order, stopping at the first Esc (a pad's Back).
    return std::all_of(keys.begin(), keys.end(), [this](const SDL_Event& key) {
        if (key.type == SDL_KEYDOWN && key.key.keysym.sym == SDLK_ESCAPE) {
            return false;
        }
        input(key);
        return true;
    });
}

void Director::input(SDL_Event event) {
    current->input(event);
}

void Director::render() {
    // The frame is composed once at one pixel a cell, read back as the players' frame, then
    // drawn again at the window's size: the same drawing, so the two always agree, and the
    // frame is whole even in a window too small to show a cell.
    compose(cells.get());
    for (std::size_t i = 0; i < frame.cells.size(); ++i) {
        const std::size_t row = i / Frame::COLUMNS;
        const auto* pixels = static_cast<const Uint8*>(cells->pixels) + row * cells->pitch;
        const Uint32 colour = reinterpret_cast<const Uint32*>(pixels)[i % Frame::COLUMNS];
        frame.cells[i] = Game::Color{static_cast<Uint8>(colour), static_cast<Uint8>(colour >> 8),
                                     static_cast<Uint8>(colour >> 16)};
    }
    compose(screen);
    frame_composed(frame);
    // The computer sees what the players see, and may press at once.
    hand(controls->shown(frame, SDL_GetTicks()));
}

void Director::compose(SDL_Surface* surface) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    const GridLayout grid(surface->w, surface->h);
    draw_score(surface, grid, -1, score0);
    draw_score(surface, grid, 9, score1);
    if (current != nullptr) {
        current->render(surface);
    }
}

void Director::push_render() {
    post(BR_RENDER, 0, "unable to push render: ");
}

void Director::game_over(int code) {
    post(BR_GAMEOVER, code, "unable to push game over: ");
}
