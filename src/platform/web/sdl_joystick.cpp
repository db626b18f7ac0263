#include <emscripten.h>

#include <array>

#include "platform/web/web.h"

// SDL's joystick, opaque to the game: here one of the page's two pad seats.
struct _SDL_Joystick {  // NOLINT(readability-identifier-naming): SDL's own name
    int seat;
};

namespace {

// The browser shows a pad only once a button of it is pressed, and pads come and go while
// a match runs, so the game opens two seats at once and the page's pads sit in them as
// they show themselves (library.js): the first in seat 0, player 0's, the next in seat 1.
constexpr int SEATS = 2;
constexpr int MAX_AXES = 8;

// A pad the browser knows the buttons of (its "standard" mapping) is shown in SDL2's
// game-controller layout: A, B, X, Y, Back, Guide, Start, the sticks' clicks, the
// shoulders, then the d-pad's up, down, left and right. This is each of the browser's
// buttons, by its number, as that layout numbers it; the triggers (the browser's 6 and 7)
// are axes there, and are left out (-1).
constexpr int BUTTONS = 15;
constexpr std::array<int, 17> CONTROLLER_BUTTON = {0, 1, 2, 3,  9,  10, -1, -1, 4,
                                                   6, 7, 8, 11, 12, 13, 14, 5};

struct Seat {
    int axes = 0;     // how many the pad sitting here has; 0 for an empty seat
    int buttons = 0;  // BUTTONS for a standard pad; 0 for any other, and for an empty seat
    std::array<Sint16, MAX_AXES> axis{};
    Uint32 held = 0;  // bit n: button n down
};

std::array<Seat, SEATS> seats;
std::array<_SDL_Joystick, SEATS> sticks = {{{0}, {1}}};
// SDL posts joystick events unless the program turns them off.
bool events_on = true;
bool started = false;

void post(const SDL_Event& event) {
    if (events_on) {
        SDL_Event copy = event;
        SDL_PushEvent(&copy);  // a full queue drops it, as SDL's does
    }
}

void move_axis(int seat, int axis, int value) {
    Sint16& was = seats[seat].axis[axis];
    if (was == value) {
        return;
    }
    was = static_cast<Sint16>(value);
    SDL_Event event{};
    event.jaxis.type = SDL_JOYAXISMOTION;
    event.jaxis.which = static_cast<Uint8>(seat);
    event.jaxis.axis = static_cast<Uint8>(axis);
    event.jaxis.value = was;
    post(event);
}

void set_button(int seat, int button, bool down) {
    const Uint32 bit = Uint32{1} << button;
    Uint32& held = seats[seat].held;
    if (((held & bit) != 0) == down) {
        return;
    }
    held ^= bit;
    SDL_Event event{};
    event.jbutton.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
    event.jbutton.which = static_cast<Uint8>(seat);
    event.jbutton.button = static_cast<Uint8>(button);
    event.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
    post(event);
}

// A pad that goes lets go of everything first, as one put down would.
void rest(int seat) {
    for (int axis = 0; axis < MAX_AXES; ++axis) {
        move_axis(seat, axis, 0);
    }
    for (int button = 0; button < BUTTONS; ++button) {
        set_button(seat, button, false);
    }
}

bool valid(int seat) {
    return seat >= 0 && seat < SEATS;
}

}  // namespace

namespace web {

void start_joysticks() {
    if (!started) {
        started = true;
        web_pads_listen();
    }
}

void stop_joysticks() {
    if (started) {
        web_pads_unlisten();
        started = false;
    }
    seats = {};
    events_on = true;
}

}  // namespace web

extern "C" {

// The page's pads (library.js): one sits down in a seat with its axes and whether the
// browser knows its buttons, or goes (no axes, not standard) after letting go.
EMSCRIPTEN_KEEPALIVE void brelvo_web_pad_seat(int seat, int axes, int standard) {
    if (!valid(seat)) {
        return;
    }
    rest(seat);
    seats[seat].axes = axes < 0 ? 0 : axes > MAX_AXES ? MAX_AXES : axes;
    seats[seat].buttons = standard != 0 ? BUTTONS : 0;
}

// An axis as the browser reads it, -1 to 1 scaled to SDL's -32767 to 32767.
EMSCRIPTEN_KEEPALIVE void brelvo_web_pad_axis(int seat, int axis, int value) {
    if (valid(seat) && axis >= 0 && axis < seats[seat].axes) {
        move_axis(seat, axis, value < -32768 ? -32768 : value > 32767 ? 32767 : value);
    }
}

// A button by the browser's own number: only a standard pad's are shown.
EMSCRIPTEN_KEEPALIVE void brelvo_web_pad_button(int seat, int button, int down) {
    if (!valid(seat) || seats[seat].buttons == 0 || button < 0 ||
        button >= static_cast<int>(CONTROLLER_BUTTON.size())) {
        return;
    }
    const int shown = CONTROLLER_BUTTON[static_cast<std::size_t>(button)];
    if (shown >= 0) {
        set_button(seat, shown, down != 0);
    }
}

int SDL_NumJoysticks() {
    return started ? SEATS : 0;
}

SDL_Joystick* SDL_JoystickOpen(int device_index) {
    if (!started || !valid(device_index)) {
        SDL_SetError("Invalid joystick device index");
        return nullptr;
    }
    return &sticks[static_cast<std::size_t>(device_index)];
}

void SDL_JoystickClose(SDL_Joystick* /*joystick*/) {}

int SDL_JoystickEventState(int state) {
    if (state == SDL_ENABLE || state == SDL_IGNORE) {
        events_on = state == SDL_ENABLE;
    }
    return events_on ? SDL_ENABLE : SDL_IGNORE;
}

// The page reads its pads at once; with events off their state changes quietly.
void SDL_JoystickUpdate() {
    if (started) {
        web_pads_read();
    }
}

int SDL_JoystickNumAxes(SDL_Joystick* joystick) {
    return joystick != nullptr ? seats[joystick->seat].axes : 0;
}

int SDL_JoystickNumBalls(SDL_Joystick* /*joystick*/) {
    return 0;
}

int SDL_JoystickNumHats(SDL_Joystick* /*joystick*/) {
    return 0;  // a standard pad's d-pad is buttons
}

int SDL_JoystickNumButtons(SDL_Joystick* joystick) {
    return joystick != nullptr ? seats[joystick->seat].buttons : 0;
}

Sint16 SDL_JoystickGetAxis(SDL_Joystick* joystick, int axis) {
    if (joystick == nullptr || axis < 0 || axis >= seats[joystick->seat].axes) {
        return 0;
    }
    return seats[joystick->seat].axis[static_cast<std::size_t>(axis)];
}

Uint8 SDL_JoystickGetHat(SDL_Joystick* /*joystick*/, int /*hat*/) {
    return SDL_HAT_CENTERED;
}

Uint8 SDL_JoystickGetButton(SDL_Joystick* joystick, int button) {
    if (joystick == nullptr || button < 0 || button >= seats[joystick->seat].buttons) {
        return 0;
    }
    return (seats[joystick->seat].held >> button) & 1U;
}

}  // extern "C"
