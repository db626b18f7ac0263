#pragma once

#include <SDL.h>

// How a match is played, as the command line asks for it.
struct Play {
    enum class Mode {
        TWO,    // two players at this device
        ALONE,  // one player here, the computer plays player 1
        HOST,   // one player here, a friend on another device plays player 1
    };

    Mode mode = Mode::TWO;
    Uint32 computer_ms = 0;  // the computer's reaction to start from; 0 for its own
    bool pads = false;       // the big screen: a phone may hold either side's pad
};
