#pragma once

#include <SDL.h>

// Anything the Director can show: the splash screen, the games, the game-over screen.
class Renderable {
  public:
    Renderable() = default;
    Renderable(const Renderable&) = delete;
    Renderable& operator=(const Renderable&) = delete;

    // Starts, or starts again, this screen.
    virtual void run() = 0;
    // Draws the screen over the frame the Director composed, then flips the surface.
    virtual void render(SDL_Surface* surface) = 0;
    // Receives an event the Director does not handle itself.
    virtual void input(SDL_Event event) = 0;

  protected:
    // Screens are never destroyed through this interface.
    ~Renderable() = default;
};
