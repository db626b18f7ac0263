// The Windows game as a player unpacks it, under wine in Xvfb: its window, its first
// screens, a step, its ordinary ends, and its end without a sound device.
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
#include <vector>

#include "process.h"
#include "window.h"

namespace {

constexpr std::array<int, 3> BLACK{0, 0, 0};
constexpr std::array<int, 3> WHITE{255, 255, 255};
constexpr std::array<int, 3> GREY{100, 100, 100};
constexpr std::array<int, 3> RED{255, 0, 0};
constexpr std::array<int, 3> BLUE{0, 0, 255};

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

class WineWindow : public ::testing::Test {
  protected:
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
        brelvo = std::make_unique<process::Child>(
            run_script(),
            std::vector<std::string>{"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio_file,
                                     "SDL_DISKAUDIODELAY=46"});
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
    bool window_seen = false;
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (status == -1 && std::chrono::steady_clock::now() < deadline) {
        window_seen = window_seen || !window::find(0.01).empty();
        status = brelvo.wait(0.05);
    }
    ASSERT_NE(status, -1) << "still running";
    EXPECT_FALSE(window_seen);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_NE(WEXITSTATUS(status), 0);
    const std::string text = read_file(stderr_txt);
    EXPECT_NE(text.find("unable to init SDL_mixer: "), std::string::npos) << text;
}

}  // namespace
