#pragma once

#include <SDL.h>

#include <atomic>

#include "framework/game.h"
#include "framework/timers.h"

// The last screen: the grid fills with green from the winner's side, one cell every
// 100 ms, each column from the bottom up; half a second after the last cell it reports
// the end of the program.
class GameOver : public Game {
  public:
    GameOver() = default;
    ~GameOver() override;

    void run() override;
    using Game::input;
    void input(int player, Button button) override;

    // One step of the fill, on the timer thread; param is the screen.
    static Uint32 timer(Uint32 interval, void* param);
    // The closing report, 500 ms after the last cell.
    static Uint32 timer2(Uint32 interval, void* param);

    // Paints the next cell; true while cells remain.
    bool update();

    // Who won the match, set before run: negative for player 0, otherwise player 1.
    int winner = 1;

  private:
    friend struct GameOverProbe;

    int filled = 0;
    // Written once the timer runs and read by its last tick, on the timer thread.
    std::atomic<Timers::Id> timer_id{0};
    Timers timers;
};
