#include "shell/pads.h"

#include <cstdlib>

#include "framework/game.h"
#include "shell/events.h"

namespace {

// The hat's bit for each Game::Button.
constexpr Uint8 HAT_BITS[4] = {SDL_HAT_UP, SDL_HAT_DOWN, SDL_HAT_LEFT, SDL_HAT_RIGHT};

// SDL2's game-controller layout.
constexpr int BACK_BUTTON = 4;
constexpr int DPAD_BUTTONS[4] = {11, 12, 13, 14};  // up, down, left, right

// Past 60% of the travel presses; within 25% of the centre lets go.
constexpr int STICK_TRAVEL = 32767;
constexpr int STICK_PRESS = STICK_TRAVEL * 60 / 100 + 1;
constexpr int STICK_CENTRE = STICK_TRAVEL * 25 / 100;

constexpr int NONE = -1;

Uint32 bit(int button) {
    return Uint32{1} << button;
}

// The d-pad's ways as hat bits, from the hat and, in the controller layout, the buttons.
Uint8 dpad_bits(const Pads::State& state, Pads::Layout layout) {
    Uint8 bits = state.hat;
    if (layout == Pads::Layout::CONTROLLER) {
        for (int way = 0; way < 4; ++way) {
            if ((state.buttons & bit(DPAD_BUTTONS[way])) != 0) {
                bits |= HAT_BITS[way];
            }
        }
    }
    return bits;
}

int dpad_way(int held, Uint8 bits) {
    if (held != NONE && (bits & HAT_BITS[held]) != 0) {
        return held;  // held through a diagonal
    }
    for (int way = 0; way < 4; ++way) {
        if (bits == HAT_BITS[way]) {
            return way;
        }
    }
    return NONE;  // the centre, or a diagonal reached without a way held
}

int stick_way(int held, Sint16 x, Sint16 y) {
    const int across = std::abs(static_cast<int>(x));
    const int along = std::abs(static_cast<int>(y));
    if (held != NONE) {
        return across <= STICK_CENTRE && along <= STICK_CENTRE ? NONE : held;
    }
    if (across < STICK_PRESS && along < STICK_PRESS) {
        return NONE;
    }
    if (across >= along) {
        return x < 0 ? Game::LEFT : Game::RIGHT;
    }
    return y < 0 ? Game::UP : Game::DOWN;
}

}  // namespace

Pads::Pads(Layout layout) : layout(layout) {}

Uint32 Pads::buttons_used(Layout layout) {
    Uint32 used = 0;
    if (layout == Layout::CONTROLLER) {
        used |= bit(BACK_BUTTON);
        for (const int button : DPAD_BUTTONS) {
            used |= bit(button);
        }
    }
    return used;
}

std::vector<SDL_Event> Pads::input(const SDL_Event& event) {
    int pad = PADS;
    State state;
    switch (event.type) {
        case SDL_JOYAXISMOTION:
            pad = event.jaxis.which;
            if (pad >= PADS || event.jaxis.axis > 1) {
                return {};
            }
            state = pads[pad].state;
            (event.jaxis.axis == 0 ? state.x : state.y) = event.jaxis.value;
            break;
        case SDL_JOYHATMOTION:
            pad = event.jhat.which;
            if (pad >= PADS || event.jhat.hat != 0) {
                return {};
            }
            state = pads[pad].state;
            state.hat = event.jhat.value;
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            pad = event.jbutton.which;
            if (pad >= PADS || event.jbutton.button >= 32) {
                return {};
            }
            state = pads[pad].state;
            if (event.type == SDL_JOYBUTTONDOWN) {
                state.buttons |= bit(event.jbutton.button);
            } else {
                state.buttons &= ~bit(event.jbutton.button);
            }
            break;
        default:
            return {};
    }
    return update(pad, state);
}

std::vector<SDL_Event> Pads::update(int pad, const State& state) {
    Pad& p = pads.at(pad);
    const auto held = [&p](int way) { return p.dpad_way == way || p.stick_way == way; };
    bool before[4];
    for (int way = 0; way < 4; ++way) {
        before[way] = held(way);
    }
    p.state = state;
    p.dpad_way = dpad_way(p.dpad_way, dpad_bits(state, layout));
    p.stick_way = stick_way(p.stick_way, state.x, state.y);

    std::vector<SDL_Event> keys;
    for (int way = 0; way < 4; ++way) {
        if (before[way] && !held(way)) {
            keys.push_back(player_key(SDL_KEYUP, Game::KEYS[pad][way]));
        }
    }
    for (int way = 0; way < 4; ++way) {
        if (!before[way] && held(way)) {
            keys.push_back(player_key(SDL_KEYDOWN, Game::KEYS[pad][way]));
        }
    }
    const bool back = layout == Layout::CONTROLLER && (state.buttons & bit(BACK_BUTTON)) != 0;
    if (back != p.back) {
        keys.push_back(player_key(back ? SDL_KEYDOWN : SDL_KEYUP, SDLK_ESCAPE));
        p.back = back;
    }
    return keys;
}
