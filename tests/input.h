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

// A pad's controls moving, as SDL reports them: `which` is the pad's index.
inline SDL_Event hat_event(Uint8 which, Uint8 value, Uint8 hat = 0) {
    SDL_Event event{};
    event.jhat.type = SDL_JOYHATMOTION;
    event.jhat.which = which;
    event.jhat.hat = hat;
    event.jhat.value = value;
    return event;
}

inline SDL_Event axis_event(Uint8 which, Uint8 axis, Sint16 value) {
    SDL_Event event{};
    event.jaxis.type = SDL_JOYAXISMOTION;
    event.jaxis.which = which;
    event.jaxis.axis = axis;
    event.jaxis.value = value;
    return event;
}

inline SDL_Event button_event(Uint8 which, Uint8 button, bool down) {
    SDL_Event event{};
    event.jbutton.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
    event.jbutton.which = which;
    event.jbutton.button = button;
    event.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
    return event;
}

// Queues the request SDL sends when the window is closed.
inline void quit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
}

}  // namespace input
