#pragma once

#include <SDL.h>

// Every user event of the program, numbered here and nowhere else. Each fits the event's
// one-byte type field, from SDL's first user event type on.

// The two by which screens report to the Director; the game's design gives their numbers.
constexpr Uint8 BR_RENDER = SDL_USEREVENT;
constexpr Uint8 BR_GAMEOVER = SDL_USEREVENT + 1;
static_assert(BR_RENDER == 24 && BR_GAMEOVER == 25, "the screens' two reports keep their numbers");

// Asks the main thread to read the pads, where the library shows them only that way.
constexpr Uint8 BR_PADS = SDL_USEREVENT + 2;
// Wakes the main thread when the computer wants to look at the grid again.
constexpr Uint8 BR_COMPUTER = SDL_USEREVENT + 3;

// A friend playing player 1 from another device, where the home can reach one (the page).
// A press of the friend's: the code is the way (a Game::Button), plus FRIEND_DOWN when it
// goes down, plus the press's number on the friend's page (counting up) times
// FRIEND_NUMBERED. The friend's page foresees its own moves until a frame shows the press
// taken.
constexpr Uint8 BR_FRIEND = SDL_USEREVENT + 4;
constexpr int FRIEND_DOWN = 4;
constexpr int FRIEND_NUMBERED = 8;
constexpr Uint32 FRIEND_MOST_NUMBER = (1U << 27) - 1;
// The friend has gone: the match goes on with two players at this device.
constexpr Uint8 BR_FRIEND_GONE = SDL_USEREVENT + 5;
// The friend, or a phone on the big screen, is not heard for a while (code 1), or heard
// again and the match goes on (code 0): meanwhile no press of anyone's counts, and the
// keys held are let go.
constexpr Uint8 BR_HOLD = SDL_USEREVENT + 6;

// The big screen, where phones may hold the sides' pads: each side's codes are SIDE_CODES
// apart. A side taken by a phone is side * SIDE_CODES + SIDE_TAKEN, given back to the keys
// side * SIDE_CODES + SIDE_GIVEN_BACK; a press of the phone's pad is SIDE_PRESS +
// side * SIDE_CODES + the way (a Game::Button), plus FRIEND_DOWN when it goes down.
constexpr Uint8 BR_SIDE = SDL_USEREVENT + 7;
constexpr int SIDE_CODES = 8;
constexpr int SIDE_GIVEN_BACK = 0;
constexpr int SIDE_TAKEN = 4;
constexpr int SIDE_PRESS = 2 * SIDE_CODES;
static_assert(BR_SIDE < SDL_NUMEVENTS, "SDL numbers no event past its last user event");

// A key going down or up, as the keyboard reports it: how the pads and the computer
// press the players' keys.
inline SDL_Event player_key(Uint8 type, SDLKey sym) {
    SDL_Event event{};
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = sym;
    return event;
}
