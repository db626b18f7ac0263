#pragma once

#include <SDL_mixer.h>

#include <array>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>

#include "framework/resources.h"
#include "games/duel/sounds.h"

namespace clips {

// The duel's clips (sounds.h) and their lengths in samples, as the generator makes them.
struct Clip {
    const char* name;
    std::uint64_t samples;
};

inline constexpr std::uint64_t SAMPLES[] = {15232, 11968, 12800, 11200, 14144, 21696, 44736,
                                            11968, 12800, 27136, 11904, 44545, 37888};
static_assert(std::size(SAMPLES) == sounds::COUNT, "a length for every clip of the duel's");

inline constexpr std::array<Clip, sounds::COUNT> all() {
    std::array<Clip, sounds::COUNT> clips{};
    for (std::size_t i = 0; i < clips.size(); ++i) {
        clips[i] = Clip{sounds::ALL[i], SAMPLES[i]};
    }
    return clips;
}
inline constexpr std::array<Clip, sounds::COUNT> ALL = all();

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
