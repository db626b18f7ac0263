#pragma once

#include <SDL.h>

// Input as SDL delivers it, for tests and tools that play the game without a keyboard.
namespace input {

inline SDL_Event key_event(Uint8 type, SDLKey key, SDLMod mod = KMOD_NONE) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    event.key.keysym.mod = mod;
    return event;
}

// Queues a key press, from any thread, as if a player had pressed the key.
inline void press(SDLKey key) {
    SDL_Event event = key_event(SDL_KEYDOWN, key);
    SDL_PushEvent(&event);
}

// Queues the request SDL sends when the window is closed.
inline void quit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

}  // namespace input
