#pragma once

#include <SDL.h>

#include <array>
#include <vector>

#include "platform/joysticks.h"

// The players' gamepads, turned into their keys: the first pad presses player 0's keys
// (w s a d), the second player 1's (the arrows). A pad's press reaches the game as that
// key going down and its end as the key going up, so every rule of a key press holds for
// it, the 50 ms re-arm included.
//
// The d-pad (a hat, or buttons in the controller layout) and the left stick are up, down,
// left and right. A diagonal of the d-pad presses nothing new: a way already held stays
// held through it, and a diagonal reached from the centre presses nothing until one of its
// two ways is let go. The stick presses once it is pushed past 60% of its travel, the way it is
// pushed furthest (left or right when both are equal), and presses again only after it
// has come back within 25% of the centre. In the controller layout Back is Esc; in a raw
// layout no button does anything, as their numbers differ from pad to pad.
class Pads {
  public:
    using Layout = Joysticks::Layout;
    using State = Joysticks::State;
    static constexpr int PADS = Joysticks::PADS;

    explicit Pads(Layout layout);

    // The buttons a layout gives a meaning to, as bits: the only ones worth reading.
    static Uint32 buttons_used(Layout layout);

    // The key events one joystick event makes: keys let go first, then keys pressed, then
    // Esc for Back. Events of other pads than the first two, and of other controls, make
    // none.
    std::vector<SDL_Event> input(const SDL_Event& event);
    // The same for a pad's whole state, read by polling.
    std::vector<SDL_Event> update(int pad, const State& state);

  private:
    struct Pad {
        State state;
        int dpad_way = -1;   // the Game::Button the d-pad holds, or -1 for none
        int stick_way = -1;  // the same for the stick
        bool back = false;
    };

    Layout layout;
    std::array<Pad, PADS> pads{};
};
