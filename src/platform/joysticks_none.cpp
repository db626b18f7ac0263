#include "platform/joysticks.h"

// Where the media library has no joystick calls (the browser's own layer): no pad
// reaches the game through SDL's joysticks; keys play as ever.
Joysticks::Joysticks() = default;

Joysticks::~Joysticks() = default;

Pads::Layout Joysticks::layout() {
    return Pads::Layout::RAW;
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

std::vector<SDL_Event> Joysticks::poll(Pads& /*pads*/) {
    return {};
}

std::array<Pads::State, Pads::PADS> Joysticks::read() const {
    return {};
}
