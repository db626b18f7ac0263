#include "screens/splash.h"

#include "framework/gridlayout.h"
#include "shell/director.h"

namespace {

constexpr Uint32 SHOWN_MS = 2000;

// The mark as filled blocks of cells: column, row, width, height.
struct Block {
    int column, row, columns, rows;
};

constexpr Block MARK[] = {
    // B
    {1, 2, 1, 5},
    {2, 2, 1, 1},
    {3, 3, 1, 1},
    {2, 4, 1, 1},
    {3, 5, 1, 1},
    {2, 6, 1, 1},
    // R
    {5, 2, 1, 5},
    {6, 2, 1, 1},
    {7, 3, 1, 1},
    {6, 4, 1, 1},
    {7, 5, 1, 2},
};

}  // namespace

void Splash::run() {
    timers.add(SHOWN_MS, Splash::timer, nullptr);
}

void Splash::render(SDL_Surface* surface) {
    const GridLayout grid(surface->w, surface->h);
    for (const Block& block : MARK) {
        SDL_Rect rect = grid.cells(block.column, block.row, block.columns, block.rows);
        SDL_FillRect(surface, &rect, SDL_MapRGB(surface->format, 255, 255, 255));
    }
    SDL_Flip(surface);
}

void Splash::input(SDL_Event /*event*/) {}

Uint32 Splash::timer(Uint32 /*interval*/, void* /*param*/) {
    Director::game_over(0);
    return 0;
}
