#pragma once

#include <SDL_mixer.h>

#include <string>

// Loads the clip `sound` of `game` from the executable's own blocks, decoded for the open
// audio device. The caller frees it with Mix_FreeChunk. Never returns null: every
// failure throws std::runtime_error saying which step failed.
Mix_Chunk* load_sound(std::string game, std::string sound);
