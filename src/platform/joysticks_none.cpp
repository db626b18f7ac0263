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

std::vector<SDL_Event> Joysticks::poll(Pads& /*pads*/) {
    return {};
}

Uint32 Joysticks::tick(Uint32 /*interval*/, void* /*param*/) {
    return 0;
}
