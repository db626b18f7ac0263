#pragma once

#include <SDL.h>

#include <array>
#include <cstddef>

#include "framework/game.h"

// One whole frame as the players see it, one colour a cell: player 0's score column, the
// nine columns of the grid and player 1's score column, nine rows. It is what the computer
// looks at, what a friend's device shows, and what the tests read.
struct Frame {
    static constexpr int COLUMNS = 11;
    static constexpr int ROWS = 9;
    static constexpr int SIDE = 9;  // the grid's own columns and rows

    // The grid alone, without the score columns: cell (x, y) is x + y * 9.
    using Grid = std::array<Game::Color, std::size_t{SIDE} * SIDE>;

    // Column -1 is player 0's score column, 0 to 8 the grid, 9 player 1's; row 0 the top.
    [[nodiscard]] Game::Color at(int column, int row) const { return cells[index(column, row)]; }
    void set(int column, int row, Game::Color color) { cells[index(column, row)] = color; }

    [[nodiscard]] Grid grid() const {
        Grid out{};
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = at(static_cast<int>(i % SIDE), static_cast<int>(i / SIDE));
        }
        return out;
    }

    // The frame as bytes, cell by cell and row by row, red, green and blue: how it leaves
    // the game for a page to draw, and comes back from a host's page to a friend's.
    static constexpr std::size_t BYTES = std::size_t{COLUMNS} * ROWS * 3;
    using Bytes = std::array<Uint8, BYTES>;
    [[nodiscard]] Bytes bytes() const {
        Bytes out{};
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out[3 * i] = cells[i].r;
            out[3 * i + 1] = cells[i].g;
            out[3 * i + 2] = cells[i].b;
        }
        return out;
    }
    static Frame of(const Bytes& rgb) {
        Frame frame;
        for (std::size_t i = 0; i < frame.cells.size(); ++i) {
            frame.cells[i] = Game::Color{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
        }
        return frame;
    }

    std::array<Game::Color, std::size_t{COLUMNS} * ROWS> cells{};

  private:
    static std::size_t index(int column, int row) {
        return static_cast<std::size_t>(row) * COLUMNS + static_cast<std::size_t>(column + 1);
    }
};
