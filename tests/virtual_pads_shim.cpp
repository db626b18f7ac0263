// Preloaded (LD_PRELOAD) into the real game by its window tests, never shipped:
//  - BRELVO_VIRTUAL_PADS=<fifo>: two of SDL2's virtual gamepads, attached before the game
//    starts SDL, set by lines read from the fifo: "<pad> <a|b|h> <index> <value>" (an
//    axis, a button or a hat). Needs sdl12-compat, SDL 1.2 over SDL2.
//  - BRELVO_NO_JOYSTICKS=1: the library fails to start its joysticks.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "virtual_pads.h"

namespace {

constexpr unsigned JOYSTICK = 0x200;  // SDL_INIT_JOYSTICK

// Plain read(2), not stdio: a thread waiting inside fscanf holds its FILE's lock, which
// glibc 2.41 (Debian 13) takes to flush every FILE as the game exits.
void drive(const virtual_pads::Sdl2* sdl2, const char* path) {
    const int commands = open(path, O_RDONLY);
    if (commands < 0) {
        return;
    }
    std::string pending;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(commands, buffer, sizeof buffer)) > 0) {
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            int pad = 0;
            char control = 0;
            int index = 0;
            int value = 0;
            if (std::sscanf(pending.c_str(), "%d %c %d %d", &pad, &control, &index, &value) == 4 &&
                !sdl2->set(pad, control, index, value)) {
                std::fprintf(stderr, "virtual pad %d: cannot set %c%d\n", pad, control, index);
            }
            pending.erase(0, end + 1);
        }
    }
    close(commands);
}

__attribute__((constructor)) void attach_pads() {
    const char* path = std::getenv("BRELVO_VIRTUAL_PADS");
    if (path == nullptr) {
        return;
    }
    static const virtual_pads::Sdl2 sdl2;
    for (int pad = 0; pad < 2; ++pad) {
        if (sdl2.attach() < 0) {
            std::fprintf(stderr, "virtual pad %d: not attached\n", pad);
        }
    }
    std::thread(drive, &sdl2, path).detach();
}

}  // namespace

// Stands in for the library's own, which it calls for everything but the joysticks.
extern "C" int SDL_InitSubSystem(unsigned flags) {  // NOLINT(readability-identifier-naming)
    static const auto real =
        reinterpret_cast<int (*)(unsigned)>(dlsym(RTLD_NEXT, "SDL_InitSubSystem"));
    if ((flags & JOYSTICK) != 0 && std::getenv("BRELVO_NO_JOYSTICKS") != nullptr) {
        return -1;
    }
    return real(flags);
}
