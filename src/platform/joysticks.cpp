#include "platform/joysticks.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The pause SDL_WaitEvent takes between its looks at an empty queue.
constexpr Uint32 WAIT_MS = 10;

// Only sdl12-compat, SDL 1.2 over SDL2, which numbers itself 1.2.50 and up, has SDL2's
// controller layout; it takes it when this variable holds a number other than 0, read as
// its joysticks start. It sends no joystick events then.
bool compat_controllers() {
#ifdef __EMSCRIPTEN__
    return false;  // the browser's layer, which is no SDL and sends its joystick events
#else
    const SDL_version* linked = SDL_Linked_Version();
    const bool over_sdl2 = linked->major == 1 && linked->minor == 2 && linked->patch >= 50;
    const char* chosen = std::getenv("SDL12COMPAT_USE_GAME_CONTROLLERS");
    const bool controllers = chosen != nullptr && std::atoi(chosen) != 0;
    return over_sdl2 && controllers;
#endif
}

}  // namespace

Joysticks::Joysticks(Uint32 buttons, Uint8 moved) : wanted(buttons), moved(moved) {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) < 0) {
        return;
    }
    const int open = std::min(SDL_NumJoysticks(), PADS);
    for (int pad = 0; pad < open; ++pad) {
        sticks[pad] = SDL_JoystickOpen(pad);
    }
    read_on_look = compat_controllers() && count() > 0;
    read_whole = layout() == Layout::CONTROLLER && !read_on_look && count() > 0;
}

Joysticks::~Joysticks() {
    for (SDL_Joystick* stick : sticks) {
        if (stick != nullptr) {
            SDL_JoystickClose(stick);
        }
    }
}

Joysticks::Layout Joysticks::layout() {
#ifdef __EMSCRIPTEN__
    // The browser's layer shows a pad whose buttons the browser knows in SDL2's
    // controller layout, and any other with no buttons.
    return Layout::CONTROLLER;
#else
    return compat_controllers() ? Layout::CONTROLLER : Layout::RAW;
#endif
}

int Joysticks::count() const {
    return static_cast<int>(
        std::count_if(sticks.begin(), sticks.end(), [](SDL_Joystick* s) { return s != nullptr; }));
}

// SDL 1.2 over SDL2 waits exactly so, a look and then a pause: the keys are seen no later.
bool Joysticks::wait(SDL_Event& event) {
    if (!read_on_look) {
        if (SDL_WaitEvent(&event) == 0) {
            return false;
        }
        heard(event);
        return true;
    }
    while (!look(event)) {
        SDL_Delay(WAIT_MS);
    }
    return true;
}

bool Joysticks::look(SDL_Event& event) {
    if (SDL_PollEvent(&event) != 0) {
        heard(event);
        return true;
    }
    if (read_on_look && read() != last) {
        event = SDL_Event{};
        event.user.type = moved;
        return true;
    }
    return false;
}

void Joysticks::heard(SDL_Event& event) const {
    if (!read_whole) {
        return;
    }
    if (reports(event.type)) {
        event = SDL_Event{};
        event.user.type = moved;
    }
}

bool Joysticks::open(int pad) const {
    return sticks.at(pad) != nullptr;
}

std::array<Joysticks::State, Joysticks::PADS> Joysticks::poll() {
    last = read();
    return last;
}

std::array<Joysticks::State, Joysticks::PADS> Joysticks::read() const {
    // The event loop has read the pads already wherever joystick events are on, as they
    // are unless a program turns them off.
    if (SDL_JoystickEventState(SDL_QUERY) != SDL_ENABLE) {
        SDL_JoystickUpdate();
    }
    std::array<State, PADS> states{};
    for (int pad = 0; pad < PADS; ++pad) {
        SDL_Joystick* stick = sticks[pad];
        if (stick == nullptr) {
            continue;
        }
        State& state = states[pad];
        if (SDL_JoystickNumHats(stick) > 0) {
            state.hat = SDL_JoystickGetHat(stick, 0);
        }
        if (SDL_JoystickNumAxes(stick) > 1) {
            state.x = SDL_JoystickGetAxis(stick, 0);
            state.y = SDL_JoystickGetAxis(stick, 1);
        }
        const int buttons = std::min(SDL_JoystickNumButtons(stick), 32);
        for (int button = 0; button < buttons; ++button) {
            const Uint32 bit = Uint32{1} << button;
            if ((wanted & bit) != 0 && SDL_JoystickGetButton(stick, button) != 0) {
                state.buttons |= bit;
            }
        }
    }
    return states;
}
