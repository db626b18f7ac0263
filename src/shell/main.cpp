#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "shell/director.h"

namespace {

constexpr const char* USAGE = "usage: brelvo [--computer]\n";
constexpr const char* HELP =
    "A duel of two light blades for two players on one keyboard: first to 9 points wins.\n"
    "Player 0 plays w a s d, player 1 the arrow keys; Esc ends the match.\n"
    "\n"
    "  --computer  play alone against the computer: either key set or a pad plays\n"
    "              player 0, the computer plays player 1\n"
    "  --help      print this help and end\n";

// Exit status for a command line the game does not understand, as shells and getopt use.
constexpr int BAD_USAGE = 2;

}  // namespace

// One run is one match. Every random choice comes from this one seed. On Windows SDL.h
// renames this to SDL_main, which SDL's own WinMain calls: the signature must be exactly
// the one it declares.
int main(int argc, char* argv[]) {
    Director::Opponent opponent = Director::Opponent::PLAYER;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            std::fputs(HELP, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--computer") == 0) {
            opponent = Director::Opponent::COMPUTER;
            continue;
        }
        // Before any window opens, as a command-line program should.
        std::fprintf(stderr, "brelvo: unknown option '%s'\n", argv[i]);
        std::fputs(USAGE, stderr);
        return BAD_USAGE;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    Director director(opponent);
    director.run();
    return 0;
}
