#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <SDL.h>

#include "process.h"

namespace {

// The program cannot run without sound, a display or all of its clips: it says which
// step failed and why, and ends abnormally. The reason is the library's own text, so the
// test holds the step's prefix and that some reason follows it.
struct Failure {
    const char* name;
    const char* executable;
    std::vector<std::string> env;
    const char* prefix;
};

// True when SDL 1.2 is sdl12-compat over SDL2 (1.2.50 and later), not classic SDL 1.2.
bool over_sdl2() {
    return SDL_Linked_Version()->patch >= 50;
}

class ProgramFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(ProgramFailure, EndsWithTheFailingStepAndTheLibrarysReason) {
    process::Child brelvo(GetParam().executable, GetParam().env);
    const int status = brelvo.wait(30);
    ASSERT_NE(status, -1) << "still running";
    // The uncaught error's abnormal end, and nothing worse: no crash, no sanitizer report.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) << "status " << status;
    const std::string err = brelvo.error_output();
    const std::string what = std::string("what():  ") + GetParam().prefix;
    const auto at = err.find(what);
    ASSERT_NE(at, std::string::npos) << err;
    const auto end = err.find('\n', at);
    EXPECT_GT(end, at + what.size()) << "no reason after the prefix: " << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

// An audio driver that does not exist: SDL 1.2 starts without audio and the mixer finds
// no device ("No available audio device"); SDL2 refuses the driver in SDL_Init already
// ("Audio target 'nosuchdriver' not available"). Both end before a window opens, each
// at the first step that cannot succeed.
const char* const no_audio_prefix =
    over_sdl2() ? "unable to init SDL: " : "unable to init SDL_mixer: ";

INSTANTIATE_TEST_SUITE_P(
    Missing, ProgramFailure,
    ::testing::Values(Failure{"NoAudioDevice",
                              BRELVO_EXE,
                              {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=nosuchdriver"},
                              no_audio_prefix},
                      Failure{"NoDisplay",
                              BRELVO_EXE,
                              {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "DISPLAY=:4242"},
                              "unable to init SDL: "},
                      Failure{"UndecodableClip",
                              BRELVO_BROKEN_EXE,
                              {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"},
                              "unable to load sound swing3 from game gamejedi: "}),
    [](const auto& info) { return std::string(info.param.name); });

// The command line: --help answers on standard output; anything else it does not know
// ends the program with the usage on standard error and status 2, before SDL starts (here
// no display could be reached, which would otherwise end it with SDL's message).
TEST(CommandLine, HelpAndUnknownOptionsAnswerLikeACommandLineProgram) {
    std::string help;
    FILE* out = popen(BRELVO_EXE " --help", "r");
    ASSERT_NE(out, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) {
        help += buffer;
    }
    const int help_status = pclose(out);
    EXPECT_TRUE(WIFEXITED(help_status) && WEXITSTATUS(help_status) == 0) << help_status;
    EXPECT_EQ(help.rfind("usage: brelvo [--computer[=MS]]\n", 0), 0U) << help;
    EXPECT_NE(help.find("  --computer=MS"), std::string::npos) << help;

    // A level that is not a whole number of milliseconds is no option of the game's; nor are
    // the page's hosting of a friend and its big screen, which only the page can do.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--bogus"},
                                                 {"--computer", "extra"},
                                                 {"-computer"},
                                                 {"--computer="},
                                                 {"--computer=0"},
                                                 {"--computer=-5"},
                                                 {"--computer=2x"},
                                                 {"--computer=99999999999"},
                                                 {"--remote"},
                                                 {"--screen"}}) {
        process::Child brelvo(BRELVO_EXE, {"SDL_VIDEODRIVER=x11", "DISPLAY=:4242"}, args);
        const int status = brelvo.wait(10);
        ASSERT_NE(status, -1) << "still running";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args.back() << " " << status;
        const std::string err = brelvo.error_output();
        EXPECT_NE(err.find("unknown option '" + args.back() + "'"), std::string::npos) << err;
        EXPECT_NE(err.find("usage: brelvo [--computer[=MS]]\n"), std::string::npos) << err;
        EXPECT_EQ(err.find("unable to"), std::string::npos) << err;
    }
}

}  // namespace
