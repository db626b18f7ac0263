#include "framework/gridlayout.h"

#include <algorithm>

GridLayout::GridLayout(int width, int height)
    : cell(std::min(width / 11, height / 9)),
      x0((width - 9 * cell) / 2),
      y0((height - 9 * cell) / 2) {}

SDL_Rect GridLayout::cells(int column, int row, int columns, int rows) const {
    SDL_Rect rect;
    rect.x = static_cast<Sint16>(x0 + column * cell);
    rect.y = static_cast<Sint16>(y0 + row * cell);
    rect.w = static_cast<Uint16>(columns * cell);
    rect.h = static_cast<Uint16>(rows * cell);
    return rect;
}
