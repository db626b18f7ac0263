#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <vector>

#include "framework/game.h"
#include "framework/timers.h"
#include "games/duel/bout.h"

// The duel of two light blades: each fighter is a white body cell with a one-cell blade,
// red for player 0 and blue for player 1. Pressing the way the blade points steps the
// fighter; pressing another way turns the blade. Tips that meet clash and both blades
// flip; a blade on the other fighter's body wins the round. The rules themselves are the
// Bout's; the duel makes them seen and heard.
class GameJedi : public Game {
  public:
    GameJedi();
    ~GameJedi() override;

    void run() override;
    using Game::input;
    void input(int player, Button button) override;

    // Re-arm timer: `param` is the ready flag of the player who pressed.
    static Uint32 timer(Uint32 interval, void* param);

    void render_player(int player);
    void unrender_player(int player);

  private:
    friend struct GameJediProbe;  // lets tests stage positions and read the clips

    void free_sounds();
    // A player's fighter painted, or erased, on the grid.
    void paint(const Bout::Fighter& fighter, int player, bool shown);
    // What a press's outcome names beyond the move: a clash's strike, heard, and the
    // flipped blades shown; a hit's end of the hum and report of the round.
    void strike();
    static void victory(int player);

    Bout bout = Bout::start();
    // Whether each player's next press is taken; set again on the timer thread 50 ms
    // after an accepted press.
    std::atomic<bool> ready[2] = {false, false};
    std::vector<Mix_Chunk*> strike_sounds;
    std::vector<Mix_Chunk*> swing_sounds;
    Mix_Chunk* idle_sound = nullptr;
    Mix_Chunk* on_sound = nullptr;
    // Pending re-arm timers, cancelled before the duel goes away: the program can end
    // less than 50 ms after a press.
    Timers timers;
};
