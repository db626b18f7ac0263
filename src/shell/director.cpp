#include "shell/director.h"

#include <SDL_mixer.h>

#include <stdexcept>
#include <string>

#include "framework/gridlayout.h"
#include "framework/renderable.h"
#include "shell/events.h"

namespace {

constexpr int POINTS_TO_WIN = 9;

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

Director::Director() {
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) {
        fail("unable to init SDL: ");
    }
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        fail("unable to init SDL_mixer: ");
    }
    SDL_WM_SetCaption("Brelvo", nullptr);
    set_video(550, 450);
}

Director::~Director() {
    Mix_CloseAudio();
    SDL_Quit();
}

void Director::set_video(int width, int height) {
    screen = SDL_SetVideoMode(width, height, 0, SDL_RESIZABLE);
    if (screen == nullptr) {
        fail("unable to set video: ");
    }
}

void Director::render() {
    SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 0, 0, 0));
    const GridLayout grid(screen->w, screen->h);
    draw_score(screen, grid, -1, score0);
    draw_score(screen, grid, 9, score1);
    if (current != nullptr) {
        current->render(screen);
    }
}

void Director::push_render() {
    post(BR_RENDER, 0, "unable to push render: ");
}

void Director::game_over(int code) {
    post(BR_GAMEOVER, code, "unable to push game over: ");
}
