#pragma once

#include <array>
#include <cstddef>

#include "framework/game.h"

// One whole frame as the players see it, one colour a cell: player 0's score column, the
// nine columns of the grid and player 1's score column, nine rows. It is what the computer
// looks at, what a friend's device shows, and what the tests read.
struct Frame {
    static constexpr int COLUMNS = 11;
    static constexpr int ROWS = 9;

    // Column -1 is player 0's score column, 0 to 8 the grid, 9 player 1's; row 0 the top.
    [[nodiscard]] Game::Color at(int column, int row) const {
        return cells[static_cast<std::size_t>(row) * COLUMNS +
                     static_cast<std::size_t>(column + 1)];
    }

    std::array<Game::Color, std::size_t{COLUMNS} * ROWS> cells{};
};
