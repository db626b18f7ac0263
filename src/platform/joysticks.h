#pragma once

#include <SDL.h>

#include <array>
#include <vector>

#include "shell/pads.h"

// The players' pads as this home's media library shows them, opened at start-up. A home
// with no pad, or whose library cannot look for any, plays on with keys: nothing here
// fails or prints.
//
// Where the library sends no joystick events (sdl12-compat in the controller layout
// sends none), the pads are read where the event wait looks at the queue: SDL2 brings
// them up to date at each look, so a pad's press is seen as soon as a key's would be, and
// no thread has to wake to ask for it.
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

    // Waits for the next event as SDL_WaitEvent does; false if SDL cannot wait.
    bool wait(SDL_Event& event);
    // One look at the queue, as SDL_PollEvent. Where the pads are read rather than heard,
    // an empty queue and pads that have moved since they were last read give a BR_PADS.
    bool look(SDL_Event& event);
    // On BR_PADS, on the main thread: reads the pads and hands their state to `pads`,
    // returning the key events that makes.
    std::vector<SDL_Event> poll(Pads& pads);

  private:
    // Every pad's controls as they stand; the buttons only those the layout uses.
    [[nodiscard]] std::array<Pads::State, Pads::PADS> read() const;

    // Unused where the home has no joysticks of SDL's (the browser).
    [[maybe_unused]] std::array<SDL_Joystick*, Pads::PADS> sticks{};
    [[maybe_unused]] std::array<Pads::State, Pads::PADS> last{};  // as `poll` last read them
    [[maybe_unused]] bool read_on_look = false;  // no joystick events: the wait reads the pads
};
