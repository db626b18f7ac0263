#include "framework/game.h"

#include <stdexcept>

#include "framework/gridlayout.h"

namespace {

constexpr unsigned int SIDE = 9;

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

bool Game::button_of(SDLKey key, int& player, Button& button) {
    for (int p = 0; p < 2; ++p) {
        for (int way = UP; way <= RIGHT; ++way) {
            if (KEYS[p][way] == key) {
                player = p;
                button = static_cast<Button>(way);
                return true;
            }
        }
    }
    return false;
}

void Game::input(SDL_Event event) {
    int player = 0;
    Button button = UP;
    if (event.type == SDL_KEYDOWN && button_of(event.key.keysym.sym, player, button)) {
        input(player, button);
    }
}
