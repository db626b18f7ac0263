#include "platform/media.h"

#include <stdexcept>
#include <string>

// Where the library's own choice of display is the right one: Windows, the browser.
void start_media(Uint32 subsystems) {
    if (SDL_Init(subsystems) < 0) {
        throw std::runtime_error(std::string("unable to init SDL: ") + SDL_GetError());
    }
}
