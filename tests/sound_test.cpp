#include <gtest/gtest.h>

#include <SDL_mixer.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "clips.h"
#include "framework/embedded.h"
#include "framework/resources.h"
#include "shell/director.h"
#include "support.h"

namespace {

using clips::Clip;
using clips::error_of;
constexpr const auto& CLIPS = clips::ALL;

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// What the clip's own stream says: channels and rate from the identification header,
// length from the granule position of the last page.
struct StreamFacts {
    int channels = 0;
    std::uint32_t rate = 0;
    std::uint64_t samples = 0;
};

StreamFacts facts_of(const embedded::Block& block) {
    StreamFacts facts;
    const unsigned char* b = block.bytes;
    const std::size_t n = block.size;
    const unsigned char id[] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
    const auto header = std::search(b, b + n, std::begin(id), std::end(id));
    if (header + 16 <= b + n) {
        facts.channels = header[11];
        facts.rate = le32(&header[12]);
    }
    for (std::size_t i = n - 4; i-- > 0;) {
        if (std::memcmp(b + i, "OggS", 4) == 0 && i + 14 <= n) {
            facts.samples = le32(b + i + 6) | (static_cast<std::uint64_t>(le32(b + i + 10)) << 32);
            break;
        }
    }
    return facts;
}

TEST(SoundClips, EveryClipIsMonoAt22050HzOfItsLength) {
    for (const Clip& clip : CLIPS) {
        const embedded::Block* block =
            embedded::find_resource("GAMEJEDI_SOUND_" + std::string(clip.name), "SOUND");
        ASSERT_NE(block, nullptr) << clip.name;
        EXPECT_EQ(std::memcmp(block->bytes, "OggS", 4), 0) << clip.name;
        EXPECT_GT(block->size, 5000U) << clip.name;
        EXPECT_LT(block->size, 21000U) << clip.name;
        const StreamFacts facts = facts_of(*block);
        EXPECT_EQ(facts.channels, 1) << clip.name;
        EXPECT_EQ(facts.rate, 22050U) << clip.name;
        EXPECT_EQ(facts.samples, clip.samples) << clip.name;
    }
}

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
    EXPECT_EQ(embedded::find_resource("gamejedi_sound_idle", "sound"),
              embedded::find_resource("GAMEJEDI_SOUND_IDLE", "SOUND"));
}

TEST_F(LoadSound, EachFailureSaysWhichStepAndWhy) {
    const std::string unknown = error_of("gamejedi", "swing8");
    EXPECT_TRUE(std::regex_match(
        unknown, std::regex("unable to find resource gamejedi_sound_swing8: [0-9]+")))
        << unknown;
    EXPECT_EQ(unknown, "unable to find resource gamejedi_sound_swing8: " + std::to_string(ENOENT));
    EXPECT_EQ(error_of("gamejedi", "empty"),
              "unable to get size of resource gamejedi_sound_empty: " + std::to_string(ENODATA));
    EXPECT_EQ(error_of("gamejedi", "notogg"),
              "unable to load sound notogg from game gamejedi: Unrecognized sound file type");
}

TEST(LoadSoundWithoutAudio, FailsAtTheMixerWithItsReason) {
    support::SdlSession sdl(SDL_INIT_AUDIO);
    EXPECT_EQ(error_of("gamejedi", "strike0"),
              "unable to load sound strike0 from game gamejedi: Audio device hasn't been opened");
}

TEST(EmbeddedBlocks, LookupStepsReportNumbers) {
    EXPECT_EQ(embedded::find_resource("GAMEJEDI_SOUND_IDLE", "MUSIC"), nullptr);
    EXPECT_EQ(embedded::last_error(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(embedded::load_resource(nullptr), nullptr);
    EXPECT_EQ(embedded::last_error(), static_cast<std::uint32_t>(EINVAL));
    EXPECT_EQ(embedded::lock_resource(nullptr), nullptr);
    EXPECT_EQ(embedded::sizeof_resource(nullptr), 0U);
    const embedded::Block* on = embedded::find_resource("gamejedi_sound_on", "SOUND");
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(embedded::lock_resource(embedded::load_resource(on)), on->bytes);
    EXPECT_EQ(embedded::sizeof_resource(on), on->size);
}

}  // namespace
