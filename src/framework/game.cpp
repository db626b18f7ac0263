#include "framework/game.h"

#include <stdexcept>

#include "framework/gridlayout.h"

namespace {

constexpr unsigned int SIDE = 9;

struct KeyBinding {
    SDLKey key;
    int player;
    Game::Button button;
};

constexpr KeyBinding KEYS[] = {
    {SDLK_w, 0, Game::UP},      {SDLK_s, 0, Game::DOWN},      {SDLK_a, 0, Game::LEFT},
    {SDLK_d, 0, Game::RIGHT},   {SDLK_UP, 1, Game::UP},       {SDLK_DOWN, 1, Game::DOWN},
    {SDLK_LEFT, 1, Game::LEFT}, {SDLK_RIGHT, 1, Game::RIGHT},
};

}  // namespace

Game::Game() : pixels(std::size_t{SIDE} * SIDE, Color{0, 0, 0}) {}

Game::~Game() = default;

Game::Color Game::get_pixel(unsigned int x, unsigned int y) const {
    if (x >= SIDE) {
        throw std::out_of_range("x");
    }
    if (y >= SIDE) {
        throw std::out_of_range("y");
    }
    const std::lock_guard<std::mutex> guard(pixels_lock);
    return pixels[x + y * SIDE];
}

void Game::set_pixel(unsigned int x, unsigned int y, Color color) {
    if (x >= SIDE || y >= SIDE) {
        return;
    }
    const std::lock_guard<std::mutex> guard(pixels_lock);
    pixels[x + y * SIDE] = color;
}

void Game::render(SDL_Surface* surface) {
    const GridLayout grid(surface->w, surface->h);
    for (unsigned int x = 0; x < SIDE; ++x) {
        for (unsigned int y = 0; y < SIDE; ++y) {
            SDL_Rect rect = grid.cells(static_cast<int>(x), static_cast<int>(y));
            const Color cell = get_pixel(x, y);
            SDL_FillRect(surface, &rect, SDL_MapRGB(surface->format, cell.r, cell.g, cell.b));
        }
    }
    SDL_Flip(surface);
}

void Game::input(SDL_Event event) {
    if (event.type != SDL_KEYDOWN) {
        return;
    }
    for (const KeyBinding& binding : KEYS) {
        if (binding.key == event.key.keysym.sym) {
            input(binding.player, binding.button);
            return;
        }
    }
}
