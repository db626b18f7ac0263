#pragma once

#include <array>
#include <cstddef>
#include <iterator>

// The duel's clips by name, the one list of them: the duel plays them by role, a friend's
// page loads the same ones to play the host's sounds, and the build embeds each file of
// assets/sounds under its name.
namespace sounds {

constexpr const char* GAME = "gamejedi";  // whose clips they are, as the loader names them
constexpr const char* STRIKES[] = {"strike0", "strike1", "strike2"};
constexpr const char* SWINGS[] = {"swing0", "swing1", "swing2", "swing3",
                                  "swing4", "swing5", "swing6", "swing7"};
constexpr const char* IDLE = "idle";  // the hum under a round
constexpr const char* ON = "on";      // a blade lit at a round's start

constexpr std::size_t COUNT = std::size(STRIKES) + std::size(SWINGS) + 2;

// Every clip, in the order the duel loads them.
constexpr std::array<const char*, COUNT> all() {
    std::array<const char*, COUNT> names{};
    std::size_t n = 0;
    for (const char* name : STRIKES) {
        names[n++] = name;
    }
    for (const char* name : SWINGS) {
        names[n++] = name;
    }
    names[n++] = IDLE;
    names[n] = ON;
    return names;
}
constexpr std::array<const char*, COUNT> ALL = all();

}  // namespace sounds
