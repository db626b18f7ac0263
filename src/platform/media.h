#pragma once

#include <SDL.h>

// Starts SDL's subsystems as this home needs them. Raises std::runtime_error
// ("unable to init SDL: " and the reason) when they cannot start.
void start_media(Uint32 subsystems);
