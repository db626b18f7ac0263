#include "platform/computer_level.h"

#include "platform/web/web.h"

// The page keeps the level between its matches, each in a fresh instance of the game.
Uint32 kept_reaction() {
    return static_cast<Uint32>(web_kept_reaction());
}

void keep_reaction(Uint32 ms) {
    web_keep_reaction(static_cast<int>(ms));
}
