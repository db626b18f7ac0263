#pragma once

#include <SDL.h>

#include <memory>
#include <vector>

#include "framework/timers.h"
#include "platform/joysticks.h"
#include "shell/computer.h"
#include "shell/pads.h"

class Games;
class GameOver;
class Renderable;

// Owns the media libraries and the window for the whole run, drives the match and
// composes every frame.
class Director {
  public:
    // Who plays player 1: a second player at the keys, or the computer. Against the
    // computer both key sets and both pads play player 0.
    enum class Opponent { PLAYER, COMPUTER };

    explicit Director(Opponent opponent = Opponent::PLAYER);
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

    // One event of the match loop; false when the loop is to end.
    bool dispatch(const SDL_Event& event, Games& games, GameOver& gameover);
    // A round's report: scores it and moves to the next round or the game-over screen.
    bool end_round(int code, Games& games, GameOver& gameover);
    // The key events the pads made, each handled as the keyboard's: Esc ends the loop
    // (false), every other key goes to the current screen.
    bool press(const std::vector<SDL_Event>& keys);
    // On BR_PADS: the pads as they stand now, turned into their players' keys.
    std::vector<SDL_Event> read_pads();
    // A key of the players' own: against the computer, the arrows are player 0's too.
    [[nodiscard]] SDL_Event own(SDL_Event key) const;
    // Shows the computer the last frame at `now` and plays the keys it presses, then
    // wakes it again when it wants to look though nothing changes.
    void think(Uint32 now);
    static Uint32 wake(Uint32 interval, void* param);

    SDL_Surface* screen = nullptr;  // owned by SDL, replaced on every set_video
    Renderable* current = nullptr;  // not owned
    int score0 = 0;
    int score1 = 0;
    Pads pads{Joysticks::layout()};
    std::unique_ptr<Joysticks> joysticks;  // opened once the media run, closed before they stop
    std::unique_ptr<Computer> computer;    // player 1 when playing alone
    Computer::Cells shown{};               // the grid of the last frame composed
    Timers alarm;                          // the computer's next look, stopped before SDL is
    Timers::Id alarm_id = 0;
    Uint32 alarm_at = 0;
};
