#pragma once

#include <SDL.h>

// Where a home keeps the computer's reaction from one match to the next. The page keeps
// it for "Play again"; a desktop run is one match and starts afresh.
Uint32 kept_reaction();  // 0 when none is kept
void keep_reaction(Uint32 ms);
