#include <gtest/gtest.h>

#include <sys/wait.h>

#include "process.h"

namespace {

// The program cannot run without sound or a display: it says why and ends abnormally,
// before any window opens.
struct Failure {
    const char* name;
    std::vector<std::string> env;
    const char* message;
};

class ProgramFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(ProgramFailure, EndsWithTheLibrarysReason) {
    process::Child brelvo(BRELVO_EXE, GetParam().env);
    const int status = brelvo.wait(30);
    ASSERT_NE(status, -1) << "still running";
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string err = brelvo.error_output();
    EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Missing, ProgramFailure,
    ::testing::Values(Failure{"NoAudioDevice",
                              {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=nosuchdriver"},
                              "unable to init SDL_mixer: "},
                      Failure{"NoDisplay",
                              {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "DISPLAY=:4242"},
                              "unable to init SDL: "}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
