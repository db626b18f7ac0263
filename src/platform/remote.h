#pragma once

#include <SDL.h>

// A friend playing player 1 from another device, where the home can reach one (the page):
// their presses and their going arrive as events of the queue.
namespace remote {

// A press of the friend's: the code is the way (a Game::Button), plus DOWN when it goes
// down, plus the press's number on the friend's page (counting up) times NUMBERED. The
// friend's page foresees its own moves until a frame shows the press taken.
constexpr Uint8 PRESSED = SDL_USEREVENT + 4;
constexpr int DOWN = 4;
constexpr int NUMBERED = 8;
constexpr Uint32 MOST_NUMBER = (1U << 27) - 1;
// The friend has gone: the match goes on with two players at this device.
constexpr Uint8 GONE = SDL_USEREVENT + 5;

}  // namespace remote
