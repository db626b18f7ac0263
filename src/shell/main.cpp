#include <SDL.h>

#include <cstdlib>
#include <ctime>

#include "shell/director.h"

// One run is one match. Every random choice comes from this one seed. On Windows SDL.h
// renames this to SDL_main, which SDL's own WinMain calls: the signature must be exactly
// the one it declares.
int main(int /*argc*/, char* /*argv*/[]) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    Director director;
    director.run();
    return 0;
}
