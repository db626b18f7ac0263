#pragma once

#include <SDL.h>

#include <mutex>
#include <vector>

#include "framework/renderable.h"

// A screen drawn on the virtual 9x9 display, played with per-player direction buttons.
// Cell (x, y) is column x from the left and row y from the top.
class Game : public Renderable {
  public:
    struct Color {
        Uint8 r;
        Uint8 g;
        Uint8 b;
    };

    enum Button { UP = 0, DOWN = 1, LEFT = 2, RIGHT = 3 };

    // Each player's keys by Button: the one table by which every source of presses (the
    // keyboard, the pads, the computer, a friend elsewhere) becomes a player's button.
    static constexpr SDLKey KEYS[2][4] = {
        {SDLK_w, SDLK_s, SDLK_a, SDLK_d},
        {SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT},
    };
    // The player and button a key is, if it is one of the players' keys.
    static bool button_of(SDLKey key, int& player, Button& button);

    Game();
    virtual ~Game();

    // Throws std::out_of_range "x" or "y" for a coordinate above 8, the column first.
    [[nodiscard]] Color get_pixel(unsigned int x, unsigned int y) const;
    // Callers pass cells of the grid; a write outside it is dropped rather than landing
    // in another cell or beyond the storage.
    void set_pixel(unsigned int x, unsigned int y, Color color);

    void render(SDL_Surface* surface) override;
    // Maps w/a/s/d to player 0 and the arrow keys to player 1; everything else is ignored.
    void input(SDL_Event event) override;
    // One press of one direction button by one player.
    virtual void input(int player, Button button) = 0;

  private:
    // Cells are written by timer callbacks on SDL's timer thread while the main thread
    // draws them: every access goes through this lock, so a frame shows each cell's old
    // or new colour, never a torn one.
    mutable std::mutex pixels_lock;
    std::vector<Color> pixels;
};
