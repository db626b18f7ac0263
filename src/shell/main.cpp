#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "shell/director.h"

namespace {

constexpr const char* USAGE = "usage: brelvo [--computer[=MS]]\n";
constexpr const char* HELP =
    "A duel of two light blades for two players on one keyboard: first to 9 points wins.\n"
    "The left player (red) plays w a s d, the right (blue) the arrow keys; Esc ends\n"
    "the match.\n"
    "\n"
    "  --computer     play alone against the computer: either key set or a pad plays\n"
    "                 the left fighter, the computer the right one\n"
    "  --computer=MS  the same, the computer first reacting in MS milliseconds\n"
    "                 (150 to 700; it then moves toward an even match)\n"
    "  --help         print this help and end\n";

// Exit status for a command line the game does not understand, as shells and getopt use.
constexpr int BAD_USAGE = 2;

// "--computer=MS": the milliseconds, a whole number from 1 to 60000, or 0 when it is not one.
Uint32 reaction(const char* text) {
    Uint32 ms = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || ms > 6000) {
            return 0;
        }
        ms = ms * 10 + static_cast<Uint32>(*digit - '0');
    }
    return ms <= 60000 ? ms : 0;
}

}  // namespace

// One run is one match. Every random choice comes from this one seed. On Windows SDL.h
// renames this to SDL_main, which SDL's own WinMain calls: the signature must be exactly
// the one it declares.
int main(int argc, char* argv[]) {
    Play setup;
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (std::strcmp(option, "--help") == 0) {
            std::fputs(USAGE, stdout);
            std::fputs(HELP, stdout);
            return 0;
        }
        if (std::strcmp(option, "--computer") == 0) {
            setup.mode = Play::Mode::ALONE;
            continue;
        }
        if (std::strncmp(option, "--computer=", 11) == 0 && reaction(option + 11) != 0) {
            setup.mode = Play::Mode::ALONE;
            setup.computer_ms = reaction(option + 11);
            continue;
        }
#ifdef BRELVO_REMOTE_PLAY
        // The page hosting a friend who plays player 1 from another device.
        if (std::strcmp(option, "--remote") == 0) {
            setup.mode = Play::Mode::HOST;
            continue;
        }
        // The page as the big screen: phones may hold either side's pad; with --computer
        // the computer still plays player 1.
        if (std::strcmp(option, "--screen") == 0) {
            setup.pads = true;
            continue;
        }
#endif
        // Before any window opens, as a command-line program should.
        std::fprintf(stderr, "brelvo: unknown option '%s'\n", option);
        std::fputs(USAGE, stderr);
        return BAD_USAGE;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    Director director(setup);
    director.run();
    return 0;
}
