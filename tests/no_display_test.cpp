#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Started where no display can be reached (a text console, a remote shell) and with no
// video driver named, the game must not fall back to drawing text art into the terminal
// or to playing on unseen: it says that no display was found and ends at once.
struct Start {
    const char* name;
    std::vector<std::string> env;  // the whole environment, nothing inherited
    const char* reason;            // what the message says after "no display found"
};

void PrintTo(const Start& start, std::ostream* out) {
    *out << start.name;
}

struct Ended {
    int status = -1;       // raw wait status; -1 while still running at the deadline
    std::string terminal;  // everything the program wrote to its terminal
    bool played = false;   // whether the disk sound device wrote anything
};

// Runs the game on a terminal of its own with exactly `env`, sound going to a file.
Ended start_on_terminal(std::vector<std::string> env, double seconds) {
    char dir[] = "/tmp/brelvo-nodisplay-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    const std::string sound = std::string(dir) + "/sound.raw";
    const auto names = [&](const std::string& prefix) {
        return std::any_of(env.begin(), env.end(), [&](const std::string& setting) {
            return setting.rfind(prefix, 0) == 0;
        });
    };
    if (!names("SDL_AUDIODRIVER=")) {
        env.push_back("SDL_AUDIODRIVER=disk");
    }
    env.push_back("SDL_DISKAUDIOFILE=" + sound);
    env.push_back("PATH=/usr/bin:/bin");
    for (const char* kept :
         {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "LD_LIBRARY_PATH"}) {
        if (const char* value = std::getenv(kept)) {
            env.push_back(std::string(kept) + "=" + value);
        }
    }
    std::vector<char*> envp;
    for (std::string& setting : env) {
        envp.push_back(setting.data());
    }
    envp.push_back(nullptr);

    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execle(BRELVO_EXE, BRELVO_EXE, static_cast<char*>(nullptr), envp.data());
        _exit(127);
    }
    Ended ended;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool drained = false;  // the terminal reports its end once every writer is gone
    while (std::chrono::steady_clock::now() < deadline && !(drained && ended.status != -1)) {
        pollfd readable{terminal, POLLIN, 0};
        if (!drained && poll(&readable, 1, 50) > 0) {
            char buffer[4096];
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n > 0) {
                ended.terminal.append(buffer, static_cast<size_t>(n));
                continue;
            }
            drained = true;
        } else if (drained) {
            usleep(10000);
        }
        int status = 0;
        if (ended.status == -1 && waitpid(pid, &status, WNOHANG) == pid) {
            ended.status = status;
        }
    }
    if (ended.status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    close(terminal);
    struct stat file {};
    ended.played = stat(sound.c_str(), &file) == 0 && file.st_size > 0;
    unlink(sound.c_str());
    rmdir(dir);
    return ended;
}

class NoDisplay : public ::testing::TestWithParam<Start> {};

TEST_P(NoDisplay, EndsAtOnceSayingSo) {
    const Ended ended = start_on_terminal(GetParam().env, 20);
    ASSERT_NE(ended.status, -1) << "still running after 20 s; it wrote:\n" << ended.terminal;
    // The uncaught error's abnormal end, not a crash and not a quiet exit.
    EXPECT_TRUE(WIFSIGNALED(ended.status) && WTERMSIG(ended.status) == SIGABRT)
        << "status " << ended.status;
    EXPECT_FALSE(ended.played) << "sound was played";

    // The terminal shows the runtime's report of the error and nothing else: no text
    // art, no escape sequences, no library chatter.
    const std::string expected =
        "terminate called after throwing an instance of 'std::runtime_error'\r\n"
        "  what():  unable to init SDL: no display found (" +
        std::string(GetParam().reason);
    EXPECT_EQ(ended.terminal.rfind(expected, 0), 0U) << ended.terminal;
    const std::string rest =
        ended.terminal.substr(std::min(expected.size(), ended.terminal.size()));
    EXPECT_EQ(rest.find('\n'), rest.size() - 1) << "more than one message:\n" << ended.terminal;
    EXPECT_EQ(ended.terminal.find('\x1b'), std::string::npos) << ended.terminal;
}

// The reason after "x11: " is the library's own text, which differs between SDL 1.2
// ("No available video device") and SDL 1.2 over SDL2 ("x11 not available").
INSTANTIATE_TEST_SUITE_P(
    Start, NoDisplay,
    ::testing::Values(
        Start{"NothingSetOnATerminal", {"TERM=xterm"}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        Start{"NothingSetNoTerminalType", {}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        Start{"DisplayUnreachable", {"TERM=xterm", "DISPLAY=:4242"}, "x11: "},
        Start{"WaylandUnreachable",
              {"TERM=linux", "WAYLAND_DISPLAY=brelvo-no-such-display", "XDG_RUNTIME_DIR=/tmp"},
              "wayland: "}),
    [](const auto& info) { return std::string(info.param.name); });

// A driver asked for by name is honoured even with no display: the tests' own dummy
// driver plays the whole program unseen on purpose, and Esc-less it keeps running.
TEST(NamedDriver, IsHonouredWithoutADisplay) {
    const Ended ended = start_on_terminal({"TERM=xterm", "SDL_VIDEODRIVER=dummy"}, 3);
    EXPECT_EQ(ended.status, -1) << "ended: " << ended.terminal;
    EXPECT_TRUE(ended.played) << "the sound device was never opened";
    EXPECT_EQ(ended.terminal.find("unable to"), std::string::npos) << ended.terminal;
}

// With a display that answers, a failure elsewhere in the start is named for what it is:
// here the sound, whose named driver is missing. SDL 1.2 fails at the mixer, SDL 1.2 over
// SDL2 one step earlier; neither may send the player to look for a display.
TEST(DisplayFound, AMissingSoundDriverIsNotCalledAMissingDisplay) {
    const Ended ended = start_on_terminal(
        {"TERM=xterm", "DISPLAY=" BRELVO_TEST_DISPLAY, "SDL_AUDIODRIVER=brelvo-no-such-driver"},
        20);
    ASSERT_NE(ended.status, -1) << "still running after 20 s";
    EXPECT_TRUE(WIFSIGNALED(ended.status) && WTERMSIG(ended.status) == SIGABRT);
    EXPECT_EQ(ended.terminal.find("no display found"), std::string::npos) << ended.terminal;
    const auto said = [&](const char* text) {
        return ended.terminal.find(text) != std::string::npos;
    };
    EXPECT_TRUE(
        said("what():  unable to init SDL_mixer: No available audio device") ||
        said("what():  unable to init SDL: Audio target 'brelvo-no-such-driver' not available"))
        << ended.terminal;
}

}  // namespace
