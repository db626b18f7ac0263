// The clips as the Linux build embeds them: each an Ogg stream of its own length, and
// the embedded blocks' lookup steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "clips.h"
#include "framework/embedded.h"
#include "platform/resource_lookup.h"

namespace {

using clips::Clip;
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
        const auto* block = static_cast<const embedded::Block*>(
            platform::find_resource("GAMEJEDI_SOUND_" + std::string(clip.name), "SOUND"));
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

TEST(EmbeddedBlocks, LookupStepsReportNumbers) {
    using namespace platform;
    EXPECT_EQ(find_resource("GAMEJEDI_SOUND_IDLE", "MUSIC"), nullptr);
    EXPECT_EQ(last_error(), static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(load_resource(nullptr), nullptr);
    EXPECT_EQ(last_error(), static_cast<std::uint32_t>(EINVAL));
    EXPECT_EQ(lock_resource(nullptr), nullptr);
    EXPECT_EQ(sizeof_resource(nullptr), 0U);
    const auto* on =
        static_cast<const embedded::Block*>(find_resource("gamejedi_sound_on", "SOUND"));
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(lock_resource(load_resource(on)), on->bytes);
    EXPECT_EQ(sizeof_resource(on), on->size);
    EXPECT_EQ(find_resource("gamejedi_sound_idle", "sound"),
              find_resource("GAMEJEDI_SOUND_IDLE", "SOUND"));
}

}  // namespace
