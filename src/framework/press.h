#pragma once

#include "framework/game.h"

// One way pressed or let go by one player, from wherever it came. Every source (the keys,
// a pad, a touch pad, the computer, a friend on another device, a phone on the big
// screen) hands the Director one of these, and the Director alone decides, by how the
// match is played, whose key it is.
struct Press {
    enum class From {
        HERE,      // this device: its keys, pads and touch pads
        FRIEND,    // a friend playing from another device
        COMPUTER,  // the computer as player 1
        PAD,       // a phone holding one side's pad on the big screen, `player` the side
    };

    int player;  // as the source names it: the key set, the pad or the side, 0 or 1
    Game::Button way;
    bool down;
    From from = From::HERE;
};
