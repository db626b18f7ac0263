#pragma once

#include <SDL.h>

#include <array>
#include <vector>

// The players' gamepads, turned into their keys: the first pad presses player 0's keys
// (w s a d), the second player 1's (the arrows). A pad's press reaches the game as that
// key going down and its end as the key going up, so every rule of a key press holds for
// it, the 50 ms re-arm included.
//
// The d-pad (a hat, or buttons in the controller layout) and the left stick are up, down,
// left and right. A diagonal presses nothing new: a way already held stays held through
// it, and a diagonal reached from the centre presses nothing until one of its two ways is
// let go. The stick presses once it is pushed past 60% of its travel, the way it is
// pushed furthest (left or right when both are equal), and presses again only after it
// has come back within 25% of the centre. In the controller layout Back is Esc; in a raw
// layout no button does anything, as their numbers differ from pad to pad.
class Pads {
  public:
    // How the library numbers a pad's buttons.
    enum class Layout {
        RAW,         // as the pad itself does
        CONTROLLER,  // SDL2's game-controller layout: Back 4, d-pad up, down, left, right 11-14
    };

    // One pad's controls as they stand.
    struct State {
        Uint8 hat = SDL_HAT_CENTERED;  // the first hat
        Sint16 x = 0;                  // the left stick: axis 0, negative to the left
        Sint16 y = 0;                  // axis 1, negative up
        Uint32 buttons = 0;            // bit n: button n held, for the first 32

        bool operator==(const State& other) const {
            return hat == other.hat && x == other.x && y == other.y && buttons == other.buttons;
        }
        bool operator!=(const State& other) const { return !(*this == other); }
    };

    static constexpr int PADS = 2;

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
