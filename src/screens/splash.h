#pragma once

#include <SDL.h>

#include "framework/renderable.h"
#include "framework/timers.h"

// The first screen: the BR mark in white cells, for two seconds.
class Splash : public Renderable {
  public:
    Splash() = default;
    ~Splash() = default;

    void run() override;
    void render(SDL_Surface* surface) override;
    void input(SDL_Event event) override;

    // Reports the end of the splash, which starts the first round.
    static Uint32 timer(Uint32 interval, void* param);

  private:
    Timers timers;  // so that the report cannot come after the splash is gone
};
