#pragma once

#include <SDL_mixer.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "framework/resources.h"

namespace clips {

// The duel's thirteen clips and their lengths in samples, as the generator makes them.
struct Clip {
    const char* name;
    std::uint64_t samples;
};

inline constexpr Clip ALL[] = {
    {"strike0", 15232}, {"strike1", 11968}, {"strike2", 12800}, {"swing0", 11200},
    {"swing1", 14144},  {"swing2", 21696},  {"swing3", 44736},  {"swing4", 11968},
    {"swing5", 12800},  {"swing6", 27136},  {"swing7", 11904},  {"idle", 44545},
    {"on", 37888},
};

// What loading one clip says: "loaded", or the loader's error message.
inline std::string error_of(const std::string& game, const std::string& sound) {
    try {
        Mix_FreeChunk(load_sound(game, sound));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "loaded";
}

}  // namespace clips
