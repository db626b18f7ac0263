// Plays one whole match in-process, headless: a second thread types the keys of two
// cooperating players through SDL's event queue while the Director runs as in the game.
// Prints "match finished" when the game-over screen ended the program by itself.
//   match_driver [PACE]   PACE stretches every wait, for slow runs (valgrind); default 1
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "input.h"
#include "shell/director.h"

namespace {

std::atomic<bool> finished{false};
std::atomic<bool> escaped{false};

void wait_ms(double ms) {
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

// Each round: player 1 turns its blade up, out of the way; player 0 walks right into it.
void play(double pace) {
    wait_ms(3000 * pace);  // the splash
    for (int round = 0; round < 9 && !finished; ++round) {
        input::press(SDLK_UP);
        for (int step = 0; step < 5; ++step) {
            wait_ms(150 * pace);
            input::press(SDLK_d);
        }
        wait_ms(700 * pace);  // the next round's start pause
    }
    // A match that has not ended by itself long after the fill is stopped, so that the
    // run always ends; it then does not print "match finished".
    for (int i = 0; i < 400 && !finished; ++i) {
        wait_ms(50 * pace);
    }
    if (!finished) {
        escaped = true;
        input::press(SDLK_ESCAPE);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const double pace = argc > 1 ? std::atof(argv[1]) : 1.0;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    {
        Director director;
        std::thread players(play, pace);
        director.run();
        finished = true;
        players.join();
    }
    if (!escaped) {
        std::puts("match finished");
    }
    return 0;
}
