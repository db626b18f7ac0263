#include <cstdlib>
#include <ctime>

#include "shell/director.h"

// One run is one match. Every random choice comes from this one seed.
int main(int /*argc*/, char** /*argv*/) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    Director director;
    director.run();
    return 0;
}
