#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <string>
#include <vector>

#include "process.h"

namespace {

// The program cannot run without sound, a display or all of its clips: it says why and
// ends abnormally.
struct Failure {
    const char* name;
    const char* executable;
    std::vector<std::string> env;
    const char* message;
};

class ProgramFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(ProgramFailure, EndsWithTheLibrarysReason) {
    process::Child brelvo(GetParam().executable, GetParam().env);
    const int status = brelvo.wait(30);
    ASSERT_NE(status, -1) << "still running";
    // The uncaught error's abnormal end, and nothing worse: no crash, no sanitizer report.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << "status " << status;
    const std::string err = brelvo.error_output();
    EXPECT_NE(err.find(std::string("what():  ") + GetParam().message), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Missing, ProgramFailure,
    ::testing::Values(
        Failure{"NoAudioDevice",
                BRELVO_EXE,
                {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=nosuchdriver"},
                "unable to init SDL_mixer: No available audio device\n"},
        Failure{"NoDisplay",
                BRELVO_EXE,
                {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "DISPLAY=:4242"},
                "unable to init SDL: No available video device\n"},
        Failure{"UndecodableClip",
                BRELVO_BROKEN_EXE,
                {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"},
                "unable to load sound swing3 from game gamejedi: Unrecognized sound file type\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
