// The sound loader as the games call it, the same on every platform: each clip decodes
// whole, names ignore case, and each failing step says which it was and why.
#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "clips.h"
#include "framework/resources.h"
#include "shell/director.h"
#include "support.h"

namespace {

using clips::Clip;
using clips::error_of;
constexpr const auto& CLIPS = clips::ALL;

// The number a lookup of a name that is not there reports: Windows' own code, or the
// embedded blocks' errno.
#ifdef _WIN32
const std::string NAME_NOT_FOUND = "1814";
#else
const std::string NAME_NOT_FOUND = std::to_string(ENOENT);
#endif

class LoadSound : public ::testing::Test {
  protected:
    Director director;  // opens the mixer at 22050 Hz, stereo, 16-bit
};

TEST_F(LoadSound, EveryClipDecodesWhole) {
    for (const Clip& clip : CLIPS) {
        Mix_Chunk* chunk = load_sound("gamejedi", clip.name);
        ASSERT_NE(chunk, nullptr);
        EXPECT_EQ(chunk->alen, clip.samples * 4) << clip.name;  // 2 channels of 2 bytes
        Mix_FreeChunk(chunk);
    }
}

// The hum loops for a whole round: its last sample must run on into its first as
// smoothly as the wave runs anywhere else.
TEST_F(LoadSound, TheHumLoopsWithoutAClick) {
    Mix_Chunk* chunk = load_sound("gamejedi", "idle");
    const auto* frames = reinterpret_cast<const Sint16*>(chunk->abuf);
    const std::size_t n = chunk->alen / 4;
    std::vector<int> left(n);
    for (std::size_t i = 0; i < n; ++i) {
        left[i] = frames[2 * i];
    }
    Mix_FreeChunk(chunk);
    std::vector<int> steps;
    for (std::size_t i = 1; i < n; ++i) {
        steps.push_back(std::abs(left[i] - left[i - 1]));
    }
    std::sort(steps.begin(), steps.end());
    const int p99 = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::abs(left.front() - left.back()), p99);
    EXPECT_GT(p99, 100) << "the hum is audible";
}

TEST_F(LoadSound, NamesIgnoreCase) {
    EXPECT_EQ(error_of("gamejedi", "idle"), "loaded");
    EXPECT_EQ(error_of("GameJedi", "IDLE"), "loaded");
}

TEST_F(LoadSound, EachFailureSaysWhichStepAndWhy) {
    EXPECT_EQ(error_of("gamejedi", "swing8"),
              "unable to find resource gamejedi_sound_swing8: " + NAME_NOT_FOUND);
    EXPECT_EQ(error_of("GameJedi", "Swing8"),
              "unable to find resource GameJedi_sound_Swing8: " + NAME_NOT_FOUND)
        << "the name as it was asked for";
    const std::string empty = error_of("gamejedi", "empty");
    EXPECT_TRUE(std::regex_match(
        empty, std::regex("unable to get size of resource gamejedi_sound_empty: [0-9]+")))
        << empty;
#ifndef _WIN32
    EXPECT_EQ(empty,
              "unable to get size of resource gamejedi_sound_empty: " + std::to_string(ENODATA));
#endif
    EXPECT_EQ(error_of("gamejedi", "notogg"),
              "unable to load sound notogg from game gamejedi: Unrecognized sound file type");
}

TEST(LoadSoundWithoutAudio, FailsAtTheMixerWithItsReason) {
    support::SdlSession sdl(SDL_INIT_AUDIO);
    EXPECT_EQ(error_of("gamejedi", "strike0"),
              "unable to load sound strike0 from game gamejedi: Audio device hasn't been opened");
}

}  // namespace
