#pragma once

#include <SDL.h>

#include "platform/joysticks.h"
#include "platform/remote.h"

// The two user events by which screens report to the Director. Both fit the event's
// one-byte type field; BR_RENDER is SDL's first user event type.
constexpr Uint8 BR_RENDER = SDL_USEREVENT;
constexpr Uint8 BR_GAMEOVER = SDL_USEREVENT + 1;
// Asks the main thread to read the pads, where the library shows them only that way.
constexpr Uint8 BR_PADS = Joysticks::MOVED;
// Wakes the main thread when the computer wants to look at the grid again.
constexpr Uint8 BR_COMPUTER = SDL_USEREVENT + 3;
// A friend's press from another device, and their going.
constexpr Uint8 BR_FRIEND = remote::PRESSED;
constexpr Uint8 BR_FRIEND_GONE = remote::GONE;
constexpr Uint8 BR_HOLD = remote::HOLD;

static_assert(BR_RENDER == 24 && BR_GAMEOVER == 25, "event numbers are part of the protocol");

// A key going down or up, as the keyboard reports it: how the pads and the computer
// press the players' keys.
inline SDL_Event player_key(Uint8 type, SDLKey sym) {
    SDL_Event event{};
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = sym;
    return event;
}
