#include <emscripten.h>

#include <deque>

#include "platform/web/web.h"

namespace {

// As many as SDL 1.2's own queue holds: a page that stops reading fails the same way.
constexpr std::size_t QUEUE_SIZE = 127;

std::deque<SDL_Event>& queue() {
    static std::deque<SDL_Event> events;
    return events;
}

bool add(const SDL_Event& event) {
    if (queue().size() >= QUEUE_SIZE) {
        return false;
    }
    queue().push_back(event);
    web_wake();
    return true;
}

}  // namespace

namespace web {

void stop_events() {
    queue().clear();
}

}  // namespace web

extern "C" {

// The page's key presses, already in SDL's key symbols; repeats are left out, as SDL
// leaves them out until a program asks for them.
EMSCRIPTEN_KEEPALIVE void brelvo_web_key(int down, int symbol, int modifiers) {
    SDL_Event event{};
    event.type = down != 0 ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.type = event.type;
    event.key.state = down != 0 ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = static_cast<SDLKey>(symbol);
    event.key.keysym.mod = static_cast<SDLMod>(modifiers);
    add(event);
}

// The browser window's new size, which is the game's window.
EMSCRIPTEN_KEEPALIVE void brelvo_web_resize(int width, int height) {
    SDL_Event event{};
    event.type = SDL_VIDEORESIZE;
    event.resize.w = width;
    event.resize.h = height;
    add(event);
}

// The page lets a guest's page go (guest.cpp) as a window's close lets a program go.
EMSCRIPTEN_KEEPALIVE void brelvo_web_quit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    add(event);
}

int SDL_PushEvent(SDL_Event* event) {
    if (!add(*event)) {
        SDL_SetError("Event queue is full");
        return -1;
    }
    return 0;
}

int SDL_PollEvent(SDL_Event* event) {
    if (queue().empty()) {
        return 0;
    }
    if (event != nullptr) {
        *event = queue().front();
        queue().pop_front();
    }
    return 1;
}

// Sleeps until something is queued: a key, a resize, or an event a timer posted. An idle
// page runs nothing but the game's own timers.
int SDL_WaitEvent(SDL_Event* event) {
    while (queue().empty()) {
        web_wait();
    }
    return SDL_PollEvent(event);
}

}  // extern "C"
