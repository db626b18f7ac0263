#include "platform/joysticks.h"

// Where the media library has no joystick calls (the browser's own layer): no pad
// reaches the game through SDL's joysticks; keys play as ever.
Joysticks::Joysticks(Uint32 /*buttons*/) {}

Joysticks::~Joysticks() = default;

Joysticks::Layout Joysticks::layout() {
    return Layout::RAW;
}

int Joysticks::count() const {
    return 0;
}

bool Joysticks::wait(SDL_Event& event) {
    return SDL_WaitEvent(&event) != 0;
}

bool Joysticks::look(SDL_Event& event) {
    return SDL_PollEvent(&event) != 0;
}

bool Joysticks::open(int /*pad*/) const {
    return false;
}

std::array<Joysticks::State, Joysticks::PADS> Joysticks::poll() {
    return {};
}

std::array<Joysticks::State, Joysticks::PADS> Joysticks::read() const {
    return {};
}
