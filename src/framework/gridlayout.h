#pragma once

#include <SDL.h>

// Where the 9x9 grid sits on a surface: square cells, centred, with room for one score
// column on each side. The scoreboard, the games and the splash all draw through it so
// that they line up at every window size.
struct GridLayout {
    GridLayout(int width, int height);

    // The rectangle covering `columns` x `rows` cells from (column, row); column -1 and
    // column 9 are the score columns.
    [[nodiscard]] SDL_Rect cells(int column, int row, int columns = 1, int rows = 1) const;

    int cell;  // side of a cell in pixels; 0 when the surface is too small to show any
    int x0;    // left edge of grid column 0
    int y0;    // top edge of grid row 0
};
