#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/media.h"

namespace {

bool is_set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

[[noreturn]] void fail() {
    throw std::runtime_error(std::string("unable to init SDL: ") + SDL_GetError());
}

}  // namespace

// Left to choose, SDL falls back to drivers that show nothing on a desktop: text art in
// the terminal, or an offscreen surface where the match plays on unseen. A game nobody
// can see has failed, so unless a driver is named, only the desktop's own window systems
// are tried, and only where the session names a display. Video starts first, alone, so
// that "no display found" is said only when no display answered: once one has, whatever
// else fails (the sound, say) is the library's own to tell.
void start_media(Uint32 subsystems) {
    if (is_set("SDL_VIDEODRIVER")) {
        if (SDL_Init(subsystems) < 0) {
            fail();
        }
        return;
    }
    std::string reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    for (const auto& [display, driver] :
         {std::pair{"DISPLAY", "x11"}, std::pair{"WAYLAND_DISPLAY", "wayland"}}) {
        if (!is_set(display)) {
            continue;
        }
        setenv("SDL_VIDEODRIVER", driver, 1);
        const bool shown = SDL_Init(SDL_INIT_VIDEO) == 0;
        unsetenv("SDL_VIDEODRIVER");
        if (shown) {
            if (SDL_InitSubSystem(subsystems & ~static_cast<Uint32>(SDL_INIT_VIDEO)) < 0) {
                fail();
            }
            return;
        }
        reason = std::string(driver) + ": " + SDL_GetError();
        SDL_Quit();
    }
    throw std::runtime_error("unable to init SDL: no display found (" + reason + ")");
}
