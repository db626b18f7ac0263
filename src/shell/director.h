#pragma once

#include <SDL.h>

#include <memory>
#include <vector>

#include "framework/frame.h"
#include "shell/play.h"

class Controls;
class Games;
class GameOver;
class Renderable;

// Owns the media libraries and the window for the whole run, drives the match and
// composes every frame.
class Director {
  public:
    explicit Director(const Play& setup = Play{});
    ~Director();
    Director(const Director&) = delete;
    Director& operator=(const Director&) = delete;

    // Opens, or re-opens at a new size, the window's surface.
    void set_video(int width, int height);
    // The match: the splash, rounds until a player has 9 points, the game-over screen.
    // Returns when that screen reports, or on Esc or the window being closed.
    void run();
    // Hands an event the Director does not handle itself to the current screen.
    void input(SDL_Event event);
    // One whole frame: background, both score columns, then the current screen.
    void render();

    // Both may be called from any thread; they only post to SDL's event queue.
    static void push_render();
    static void game_over(int code);

  private:
    friend struct DirectorProbe;  // lets tests drive the match event by event

    struct SurfaceFree {
        void operator()(SDL_Surface* surface) const;
    };

    // One event of the match loop; false when the loop is to end.
    bool dispatch(const SDL_Event& event, Games& games, GameOver& gameover);
    // A round's report: scores it and moves to the next round or the game-over screen.
    bool end_round(int code, Games& games, GameOver& gameover);
    // Hands the current screen its keys in order; an Esc among them ends the loop (false).
    bool hand(const std::vector<SDL_Event>& keys);
    // Background, score columns and the current screen, on any surface.
    void compose(SDL_Surface* surface);

    SDL_Surface* screen = nullptr;  // owned by SDL, replaced on every set_video
    Renderable* current = nullptr;  // not owned
    int score0 = 0;
    int score1 = 0;
    // The frame at one pixel a cell, composed as the window's is, whatever the window's size.
    std::unique_ptr<SDL_Surface, SurfaceFree> cells;
    Frame frame;                         // the last one composed
    std::unique_ptr<Controls> controls;  // closed before the media stop
};
