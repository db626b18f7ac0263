#include <emscripten/eventloop.h>

#include <memory>
#include <set>

#include "platform/web/web.h"

// SDL_timer.h leaves the timer's record to the library.
struct _SDL_TimerID {
    Uint32 interval;
    SDL_NewTimerCallback callback;
    void* param;
    long pending;  // the page's timeout, 0 while the callback runs
    bool removed;
};

namespace {

std::set<SDL_TimerID>& live() {
    static std::set<SDL_TimerID> timers;
    return timers;
}

void forget(SDL_TimerID timer) {
    live().erase(timer);
    delete timer;
}

// One firing: the callback's answer sets the next interval, and 0 ends the timer. A timer
// removed meanwhile, by its own callback too, never fires again.
void fire(void* data) {
    auto* timer = static_cast<SDL_TimerID>(data);
    if (live().count(timer) == 0) {
        return;
    }
    timer->pending = 0;
    const Uint32 next = timer->callback(timer->interval, timer->param);
    if (timer->removed || next == 0) {
        forget(timer);
        return;
    }
    timer->interval = next;
    timer->pending = emscripten_set_timeout(fire, next, timer);
}

}  // namespace

namespace web {

void stop_timers() {
    while (!live().empty()) {
        SDL_RemoveTimer(*live().begin());
    }
}

}  // namespace web

extern "C" {

SDL_TimerID SDL_AddTimer(Uint32 interval, SDL_NewTimerCallback callback, void* param) {
    auto timer = std::make_unique<_SDL_TimerID>(_SDL_TimerID{interval, callback, param, 0, false});
    timer->pending = emscripten_set_timeout(fire, interval, timer.get());
    live().insert(timer.get());
    return timer.release();
}

SDL_bool SDL_RemoveTimer(SDL_TimerID timer) {
    if (live().count(timer) == 0) {
        return SDL_FALSE;
    }
    if (timer->pending == 0) {
        timer->removed = true;  // its callback is running; fire() lets it go
        live().erase(timer);
        return SDL_TRUE;
    }
    emscripten_clear_timeout(timer->pending);
    forget(timer);
    return SDL_TRUE;
}

}  // extern "C"
