// The clips on Windows, where they are the executable's own resources.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "clips.h"

namespace {

using clips::Clip;
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

}  // namespace
