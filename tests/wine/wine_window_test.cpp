// The Windows game as a player unpacks it, under wine in Xvfb: its window, its first
// screens, a step, its ordinary ends, its end without a sound device, a match against
// the computer (started directly and by "Play alone.cmd"), and its options.
//   wine_window_tests  with BRELVO_WINE_RUN naming a script that starts brelvo.exe under
//   wine, and DISPLAY an X server of the tests' own.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "process.h"
#include "window.h"

namespace {

constexpr std::array<int, 3> BLACK{0, 0, 0};
constexpr std::array<int, 3> WHITE{255, 255, 255};
constexpr std::array<int, 3> GREY{100, 100, 100};
constexpr std::array<int, 3> RED{255, 0, 0};
constexpr std::array<int, 3> BLUE{0, 0, 255};
constexpr std::array<int, 3> GREEN{0, 255, 0};

std::string run_script() {
    const char* script = std::getenv("BRELVO_WINE_RUN");
    return script != nullptr ? script : "";
}

// The folder the zip was unpacked into, where brelvo.exe writes stderr.txt.
std::string game_dir() {
    const char* dir = std::getenv("BRELVO_WINE_DIR");
    return dir != nullptr ? dir : "";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using window::cell;

bool shows_mark(const window::Picture& p) {
    return cell(p, 1, 2) == WHITE && cell(p, 3, 3) == WHITE && cell(p, 7, 6) == WHITE &&
           cell(p, 2, 3) == BLACK && cell(p, 4, 4) == BLACK && cell(p, -1, 0) == GREY &&
           cell(p, 9, 0) == GREY;
}

bool round_start(const window::Picture& p) {
    return cell(p, 1, 4) == WHITE && cell(p, 2, 4) == RED && cell(p, 6, 4) == BLUE &&
           cell(p, 7, 4) == WHITE && cell(p, 4, 4) == BLACK;
}

// Player 0 stepped once to the right: body and blade one cell further on.
bool stepped(const window::Picture& p) {
    return cell(p, 1, 4) == BLACK && cell(p, 2, 4) == WHITE && cell(p, 3, 4) == RED;
}

// Waits up to a minute for a run that is to open no window: its wait status (-1 when
// still running) and whether a window showed meanwhile.
std::pair<int, bool> wait_without_window(process::Child& brelvo) {
    bool window_seen = false;
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (status == -1 && std::chrono::steady_clock::now() < deadline) {
        window_seen = window_seen || !window::find(0.01).empty();
        status = brelvo.wait(0.05);
    }
    return {status, window_seen};
}

class WineWindow : public ::testing::Test {
  protected:
    // What the run script gets besides the sound settings: nothing, the game as it is.
    virtual std::vector<std::string> start_with() const { return {}; }

    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests draw on an X server";
        ASSERT_FALSE(run_script().empty()) << "BRELVO_WINE_RUN names the script to start";
        std::remove((game_dir() + "/stderr.txt").c_str());
        char name[] = "/tmp/brelvo-wine-audio-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        audio_file = name;
        // wine has no sound card here: SDL's disk driver mixes in real time into a file.
        std::vector<std::string> env{"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio_file,
                                     "SDL_DISKAUDIODELAY=46"};
        for (const std::string& setting : start_with()) {
            env.push_back(setting);
        }
        brelvo = std::make_unique<process::Child>(run_script(), env);
        id = window::find(60);
        ASSERT_FALSE(id.empty()) << read_file(game_dir() + "/stderr.txt");
        // No window manager gives it the keyboard, as a player's click would.
        process::shell("xdotool windowfocus --sync " + id + " 2>/dev/null");
    }
    void TearDown() override {
        brelvo.reset();
        std::remove(audio_file.c_str());
    }

    void expect_clean_exit() {
        const int status = brelvo->wait(30);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << read_file(game_dir() + "/stderr.txt");
    }

    std::string audio_file;
    std::unique_ptr<process::Child> brelvo;
    std::string id;
};

TEST_F(WineWindow, SplashThenTheFirstRoundThenAStepThenEsc) {
    const std::string title = process::shell("xdotool getwindowname " + id);
    EXPECT_EQ(title, "Brelvo");
    const window::Picture splash = window::capture_until(id, shows_mark, 20);
    EXPECT_EQ(splash.w, 550);
    EXPECT_EQ(splash.h, 450);
    ASSERT_TRUE(shows_mark(splash)) << "the splash shows the mark between both score columns";
    const auto mark_seen = std::chrono::steady_clock::now();

    const window::Picture first = window::capture_until(id, round_start, 10);
    ASSERT_TRUE(round_start(first)) << "the first round begins";
    const auto waited = std::chrono::steady_clock::now() - mark_seen;
    EXPECT_GT(waited, std::chrono::milliseconds(1200)) << "the splash stays about 2 s";
    EXPECT_LT(waited, std::chrono::milliseconds(4000)) << "the splash stays about 2 s";

    window::key(id, "d");
    EXPECT_TRUE(stepped(window::capture_until(id, stepped, 5))) << "player 0 steps right";

    // The round's sounds went through the mixer into the disk driver's file.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string mixed = read_file(audio_file);
    EXPECT_GT(mixed.size(), 22050U * 4 / 2) << "half a second of stereo 16-bit sound";
    EXPECT_NE(mixed.find_first_not_of('\0'), std::string::npos) << "and not all of it silence";

    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(WineWindow, EscOnTheSplashEnds) {
    ASSERT_TRUE(shows_mark(window::capture_until(id, shows_mark, 20)));
    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(WineWindow, ClosingTheWindowEnds) {
    ASSERT_TRUE(round_start(window::capture_until(id, round_start, 20)));
    ASSERT_TRUE(window::close(id));
    expect_clean_exit();
}

// No sound device, no game: it ends before any window opens and says why in stderr.txt
// beside the executable, where SDL's start-up code sends the standard error stream.
TEST(WineNoSound, EndsWithoutAWindowAndSaysWhyInStderrTxt) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string stderr_txt = game_dir() + "/stderr.txt";
    std::remove(stderr_txt.c_str());
    process::Child brelvo(run_script(), {"SDL_AUDIODRIVER=nosuchdriver"});
    const auto [status, window_seen] = wait_without_window(brelvo);
    ASSERT_NE(status, -1) << "still running";
    EXPECT_FALSE(window_seen);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_NE(WEXITSTATUS(status), 0);
    const std::string text = read_file(stderr_txt);
    EXPECT_NE(text.find("unable to init SDL_mixer: "), std::string::npos) << text;
}

class WineComputer : public WineWindow {
  protected:
    std::vector<std::string> start_with() const override { return {"BRELVO_WINE_ARG=--computer"}; }
};

// Nobody presses anything: the computer takes every round, the grid fills green from its
// side, and the program ends as after any match.
TEST_F(WineComputer, WinsAWholeMatchAgainstNoInputAndEnds) {
    const auto won_nine_to_nil = [](const window::Picture& p) {
        return cell(p, 9, 0) == GREEN && cell(p, -1, 8) == GREY && cell(p, 8, 8) == GREEN &&
               cell(p, 0, 8) == BLACK;
    };
    const window::Picture fill = window::capture_until(id, won_nine_to_nil, 180);
    ASSERT_TRUE(won_nine_to_nil(fill))
        << "the right score column full, the left one empty, the fill from the right";
    expect_clean_exit();
}

// "Play alone.cmd" run as a double-click runs it: cmd starts the game against the
// computer and ends at once, so no console window stays open while the game plays.
class WinePlayAlone : public WineWindow {
  protected:
    std::vector<std::string> start_with() const override {
        return {"BRELVO_WINE_CMD=Play alone.cmd"};
    }
};

TEST_F(WinePlayAlone, TheCmdStartsTheComputerAndReturns) {
    const int status = brelvo->wait(30);  // cmd's, not the game's
    ASSERT_NE(status, -1) << "cmd still waits for the game";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    // Only the computer scores against nobody's keys.
    const auto computer_scored = [](const window::Picture& p) {
        return cell(p, 9, 8) == GREEN && cell(p, -1, 8) == GREY;
    };
    EXPECT_TRUE(computer_scored(window::capture_until(id, computer_scored, 60)));
    // The game is no child of ours: closing its window ends it, gone before the next test.
    ASSERT_TRUE(window::close(id));
    EXPECT_TRUE(process::shell("for i in $(seq 200); do xdotool search --onlyvisible --name "
                               "'^Brelvo$' >/dev/null || exit; sleep 0.1; done; echo open")
                    .empty())
        << "the window is still open";
}

// The command line is read before anything opens. SDL's start-up code sends the two
// standard streams to stdout.txt and stderr.txt beside the executable.
TEST(WineOptions, UnknownEndsWithStatus2BeforeAWindowAndHelpPrintsTheUsage) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string usage = "usage: brelvo [--computer[=MS]]\r\n";  // Windows' line ends
    const struct {
        std::string arg;
        int status;
        std::string file;
        std::string text;  // how the file begins
    } cases[] = {{"--versus", 2, "stderr.txt", "brelvo: unknown option '--versus'\r\n" + usage},
                 {"--help", 0, "stdout.txt", usage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        std::remove((game_dir() + "/stdout.txt").c_str());
        std::remove((game_dir() + "/stderr.txt").c_str());
        process::Child brelvo(run_script(), {"BRELVO_WINE_ARG=" + c.arg});
        const auto [status, window_seen] = wait_without_window(brelvo);
        ASSERT_NE(status, -1) << "still running";
        EXPECT_FALSE(window_seen);
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), c.status);
        const std::string text = read_file(game_dir() + "/" + c.file);
        EXPECT_EQ(text.substr(0, c.text.size()), c.text) << text;
    }
}

}  // namespace
