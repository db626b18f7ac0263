#pragma once

#include <SDL.h>

#include "framework/frame.h"

// What the home around the game hears of a match as it goes: on the page, every frame
// (a friend's device shows it) and the computer's level (where "Play again" starts).
// A desktop run is one match in one window and hears nothing.
void frame_composed(const Frame& frame);
void computer_level(Uint32 reaction_ms);
