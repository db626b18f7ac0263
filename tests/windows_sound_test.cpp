// The sound loader on Windows, where the clips are the executable's own resources.
#include <gtest/gtest.h>

#include <SDL_mixer.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
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

std::vector<char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each clip is stored whole and byte for byte as the committed file, under its name in
// capitals and the type SOUND.
TEST(SoundResources, EveryClipIsTheCommittedFile) {
    for (const Clip& clip : CLIPS) {
        std::string name = "GAMEJEDI_SOUND_" + std::string(clip.name);
        for (char& c : name) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        HRSRC info = FindResourceA(nullptr, name.c_str(), "SOUND");
        ASSERT_NE(info, nullptr) << name;
        const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, info)));
        ASSERT_NE(bytes, nullptr) << name;
        const std::vector<char> file =
            file_bytes(std::string(BRELVO_SOUNDS_DIR "/") + clip.name + ".ogg");
        ASSERT_FALSE(file.empty()) << clip.name;
        ASSERT_EQ(SizeofResource(nullptr, info), file.size()) << name;
        EXPECT_EQ(std::memcmp(bytes, file.data(), file.size()), 0) << name;
    }
}

TEST(SoundResources, NamesAndTypesMatchInAnyCase) {
    HRSRC stored = FindResourceA(nullptr, "GAMEJEDI_SOUND_IDLE", "SOUND");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "gamejedi_sound_idle", "SOUND"), stored);
    EXPECT_EQ(FindResourceA(nullptr, "GameJedi_Sound_Idle", "sound"), stored);
}

// What the loader reports as the number: Windows' own codes for a missing name and a
// missing type.
TEST(SoundResources, UnknownNameAndTypeHaveTheirOwnNumbers) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, "GAMEJEDI_SOUND_SWING8", "SOUND"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(GetLastError(), 1814U);
    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, "GAMEJEDI_SOUND_IDLE", "MUSIC"), nullptr);
    EXPECT_EQ(GetLastError(), 1813U);
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

TEST_F(LoadSound, NamesIgnoreCase) {
    EXPECT_EQ(error_of("gamejedi", "idle"), "loaded");
    EXPECT_EQ(error_of("GameJedi", "IDLE"), "loaded");
}

TEST_F(LoadSound, EachFailureSaysWhichStepAndWhy) {
    EXPECT_EQ(error_of("gamejedi", "swing8"),
              "unable to find resource gamejedi_sound_swing8: 1814");
    EXPECT_EQ(error_of("GameJedi", "Swing8"), "unable to find resource GameJedi_sound_Swing8: 1814")
        << "the name as it was asked for";
    const std::string empty = error_of("gamejedi", "empty");
    EXPECT_TRUE(std::regex_match(
        empty, std::regex("unable to get size of resource gamejedi_sound_empty: [0-9]+")))
        << empty;
    EXPECT_EQ(error_of("gamejedi", "notogg"),
              "unable to load sound notogg from game gamejedi: Unrecognized sound file type");
}

TEST(LoadSoundWithoutAudio, FailsAtTheMixerWithItsReason) {
    support::SdlSession sdl(SDL_INIT_AUDIO);
    EXPECT_EQ(error_of("gamejedi", "strike0"),
              "unable to load sound strike0 from game gamejedi: Audio device hasn't been opened");
}

}  // namespace
