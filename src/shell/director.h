#pragma once

#include <SDL.h>

class Renderable;

// Owns the media libraries and the window for the whole run, drives the match and
// composes every frame.
class Director {
  public:
    Director();
    ~Director();
    Director(const Director&) = delete;
    Director& operator=(const Director&) = delete;

    // Opens, or re-opens at a new size, the window's surface.
    void set_video(int width, int height);
    // One whole frame: background, both score columns, then the current screen.
    void render();

    // Both may be called from any thread; they only post to SDL's event queue.
    static void push_render();
    static void game_over(int code);

  private:
    friend struct DirectorProbe;  // lets tests set up a frame without a whole match

    SDL_Surface* screen = nullptr;  // owned by SDL, replaced on every set_video
    Renderable* current = nullptr;  // not owned
    int score0 = 0;
    int score1 = 0;
};
