#pragma once

#include <SDL.h>

#include <atomic>

#include "framework/game.h"
#include "framework/timers.h"

// A check of the display rather than a game: a grey ramp walks through the 81 cells in
// reading order, one level brighter every 10 ms, and the round ends with nobody scoring
// when it reaches white. Not in the catalogue, but it can be registered like any game.
class GameTest : public Game {
  public:
    GameTest() = default;
    ~GameTest() override;

    void run() override;
    using Game::input;
    void input(int player, Button button) override;

    static Uint32 timer(Uint32 interval, void* param);
    // Moves the ramp on by one cell; false once it has reached full brightness.
    bool update();

  private:
    friend struct GameTestProbe;

    int cursor = 0;  // the cell written last; kept from one run to the next
    std::atomic<Timers::Id> timer_id{0};
    Timers timers;
};
