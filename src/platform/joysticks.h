#pragma once

#include <SDL.h>

#include <array>
#include <atomic>
#include <vector>

#include "framework/timers.h"
#include "shell/pads.h"

// The players' pads as this home's media library shows them, opened at start-up. A home
// with no pad, or whose library cannot look for any, plays on with keys: nothing here
// fails or prints.
//
// Where the library sends no joystick events (sdl12-compat in the controller layout
// sends none), a timer asks the main thread to read the pads every few milliseconds: it
// only posts BR_PADS, since SDL's joystick calls belong to the main thread.
class Joysticks {
  public:
    Joysticks();
    ~Joysticks();
    Joysticks(const Joysticks&) = delete;
    Joysticks& operator=(const Joysticks&) = delete;

    // How the library numbers the buttons; decided before the pads are opened.
    static Pads::Layout layout();
    // How many pads are open: at most two, one a player.
    [[nodiscard]] int count() const;
    // On BR_PADS, on the main thread: reads the pads and hands their state to `pads`,
    // returning the key events that makes.
    std::vector<SDL_Event> poll(Pads& pads);

  private:
    static Uint32 tick(Uint32 interval, void* param);

    std::array<SDL_Joystick*, Pads::PADS> sticks{};
    std::atomic<bool> asked{false};  // a BR_PADS is on its way: post no other
    Timers timers;                   // last: gone before anything its callback reads
};
