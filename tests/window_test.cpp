#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "window.h"

namespace {

constexpr std::array<int, 3> BLACK{0, 0, 0};
constexpr std::array<int, 3> GREY{100, 100, 100};
constexpr std::array<int, 3> WHITE{255, 255, 255};
constexpr std::array<int, 3> GREEN{0, 255, 0};
constexpr std::array<int, 3> RED{255, 0, 0};
constexpr std::array<int, 3> BLUE{0, 0, 255};

using window::cell;

bool shows_mark(const window::Picture& p) {
    return cell(p, 1, 2) == WHITE && cell(p, 3, 3) == WHITE && cell(p, 7, 6) == WHITE &&
           cell(p, 2, 3) == BLACK && cell(p, 4, 4) == BLACK;
}

// Both fighters in their start cells, and the score columns at these points.
auto round_start(int score0, int score1) {
    return [=](const window::Picture& p) {
        const auto points = [&](int column, int n) {
            return (n == 0 || cell(p, column, 9 - n) == GREEN) &&
                   (n == 9 || cell(p, column, 8 - n) == GREY);
        };
        return cell(p, 1, 4) == WHITE && cell(p, 2, 4) == RED && cell(p, 6, 4) == BLUE &&
               cell(p, 7, 4) == WHITE && cell(p, 4, 4) == BLACK && points(-1, score0) &&
               points(9, score1);
    };
}

// From the start position, each path walks one fighter around the other's blade and
// strikes its body from above.
const std::vector<std::string> PLAYER0_WINS = {"w", "w", "d", "d", "d", "d", "d", "d", "d", "s"};
const std::vector<std::string> PLAYER1_WINS = {"Up",   "Up",   "Left", "Left", "Left",
                                               "Left", "Left", "Left", "Left", "Down"};

class RealWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests draw on an X server";
        id = window::find();
        ASSERT_FALSE(id.empty()) << brelvo.error_output();
    }

    // Ends with status 0 within a few seconds.
    void expect_clean_exit() {
        const int status = brelvo.wait(20);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << brelvo.error_output();
        EXPECT_EQ(WEXITSTATUS(status), 0) << brelvo.error_output();
    }

    // Presses keys the way a player does who watches the screen: each press shows
    // before the next, which comes well over 50 ms after it was taken. A slow build (the
    // sanitizers over SDL2) may take a press long after it was sent; a blind pace would
    // then land the next inside its re-arm wait, where the game rightly drops it.
    void play(const std::vector<std::string>& keys) {
        for (const std::string& k : keys) {
            const window::Picture before = window::capture(id);
            window::key(id, k);
            window::capture_until(
                id, [&](const window::Picture& p) { return p.rgb != before.rgb; }, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(70));
        }
    }

    // Plays rounds won by `path` until the winner has 9 points; returns when the
    // game-over screen has started.
    void play_match(const std::vector<std::string>& path, bool player0) {
        for (int won = 0; won < 9; ++won) {
            const window::Picture p =
                window::capture_until(id, round_start(player0 ? won : 0, player0 ? 0 : won));
            ASSERT_TRUE(round_start(player0 ? won : 0, player0 ? 0 : won)(p))
                << "round " << won + 1;
            play(path);
        }
    }

    process::Child brelvo{BRELVO_EXE, {"SDL_AUDIODRIVER=dummy", "SDL_VIDEODRIVER=x11"}};
    std::string id;
};

TEST_F(RealWindow, OpensAtItsSizeAndRedrawsAfterAResize) {
    const auto columns_at = [](int left, int right) {
        return [=](const window::Picture& p) {
            return p.w > right && p.at(left + 25, p.h / 2) == GREY &&
                   p.at(right + 25, p.h / 2) == GREY &&
                   p.at(left - 1 < 0 ? 0 : left - 1, 5) == (left == 0 ? GREY : BLACK);
        };
    };
    window::Picture start = window::capture_until(id, columns_at(0, 500));
    EXPECT_EQ(start.w, 550);
    EXPECT_EQ(start.h, 450);
    EXPECT_TRUE(columns_at(0, 500)(start)) << "the score columns frame the grid";

    process::shell("xdotool windowsize " + id + " 800 450");
    window::Picture wide = window::capture_until(id, columns_at(125, 625));
    EXPECT_EQ(wide.w, 800);
    EXPECT_TRUE(columns_at(125, 625)(wide)) << "the frame is drawn again at the new size";
    EXPECT_EQ(wide.at(60, 200), BLACK);

    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(RealWindow, TheSplashThenTheFirstRoundAndItsPoint) {
    EXPECT_TRUE(shows_mark(window::capture_until(id, shows_mark)));
    const auto mark_seen = std::chrono::steady_clock::now();
    const window::Picture first = window::capture_until(id, round_start(0, 0), 6);
    ASSERT_TRUE(round_start(0, 0)(first));
    const auto waited = std::chrono::steady_clock::now() - mark_seen;
    EXPECT_GT(waited, std::chrono::milliseconds(1200));
    play(PLAYER0_WINS);
    const window::Picture second = window::capture_until(id, round_start(1, 0));
    EXPECT_TRUE(round_start(1, 0)(second)) << "player 0 has its first point";
    // The README's screenshot: a duel under way, one point to player 0.
    play({"w", "Left", "d", "Down"});
    process::shell("import -window " + id + " " BRELVO_SCREENSHOT);
    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(RealWindow, AWholeMatchEndsByItself) {
    play_match(PLAYER0_WINS, true);
    // Player 0 won: the fill starts at the bottom left.
    const auto filling = [](const window::Picture& p) { return cell(p, 0, 8) == GREEN; };
    const window::Picture fill = window::capture_until(id, filling);
    EXPECT_TRUE(filling(fill));
    EXPECT_EQ(cell(fill, 8, 8), BLACK);
    EXPECT_EQ(cell(fill, -1, 0), GREEN) << "nine points";
    const int status = brelvo.wait(20);
    ASSERT_NE(status, -1) << "still running after the fill";
    ASSERT_TRUE(WIFEXITED(status)) << brelvo.error_output();
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(RealWindow, ClosingTheWindowDuringTheFillEndsTheProgram) {
    play_match(PLAYER1_WINS, false);
    const auto filling = [](const window::Picture& p) { return cell(p, 8, 8) == GREEN; };
    const window::Picture fill = window::capture_until(id, filling);
    EXPECT_TRUE(filling(fill));
    EXPECT_EQ(cell(fill, 0, 8), BLACK);
    ASSERT_TRUE(window::close(id));
    expect_clean_exit();
}

TEST_F(RealWindow, EscDuringTheSplashEndsTheProgram) {
    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(RealWindow, ClosingTheWindowDuringTheSplashEndsTheProgram) {
    ASSERT_TRUE(window::close(id));
    expect_clean_exit();
}

// Quitting right after a press leaves its re-arm timer pending.
TEST_F(RealWindow, EscRightAfterAPressEndsTheProgram) {
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0))));
    window::key(id, "d");
    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(RealWindow, ClosingTheWindowRightAfterAPressEndsTheProgram) {
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0))));
    window::key(id, "Left");
    ASSERT_TRUE(window::close(id));
    expect_clean_exit();
}

// --- Gamepads ---------------------------------------------------------------------------

// The real game with two of SDL2's virtual pads attached before it starts (a library of
// the tests' own, preloaded), over sdl12-compat: the machine's own SDL 1.2 or Debian's
// libsdl1.2-compat from the build's folder. Each press waits, as a player does, until the
// window shows it, lets go, and rests more than the 50 ms re-arm.
// Alone against the computer, in the real window: the player's keys of both sets move
// player 0 (the red blade), the computer plays the blue one, and with no more input it
// wins every round and the match ends as any match does.
TEST(ComputerWindow, BothKeySetsMovePlayerZeroAndTheComputerWinsAMatchAgainstNoInput) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests draw on an X server";
    process::Child brelvo(BRELVO_EXE, {"SDL_AUDIODRIVER=dummy", "SDL_VIDEODRIVER=x11"},
                          {"--computer"});
    const std::string id = window::find();
    ASSERT_FALSE(id.empty()) << brelvo.error_output();
    // A key, then player 0's red blade at (x, y): a step or a turn of player 0's.
    const auto moves_player0 = [&](const char* key, int x, int y) {
        window::key(id, key);
        const auto red = [=](const window::Picture& p) { return cell(p, x, y) == RED; };
        EXPECT_TRUE(red(window::capture_until(id, red, 5))) << key;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // past the re-arm
    };
    // Round one: d steps player 0 right, the up arrow turns its blade up.
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0), 10)));
    moves_player0("d", 3, 4);
    moves_player0("Up", 2, 3);
    // Round two, once the computer has won the first: the left arrow turns the blade
    // left, and s turns it down.
    ASSERT_TRUE(round_start(0, 1)(window::capture_until(id, round_start(0, 1), 20)));
    moves_player0("Left", 0, 4);
    moves_player0("s", 1, 5);
    // No more input: the computer takes every round and the fill starts on its side.
    const auto filling = [](const window::Picture& p) {
        return cell(p, 8, 8) == GREEN && cell(p, 9, 0) == GREEN && cell(p, -1, 8) == GREY;
    };
    EXPECT_TRUE(filling(window::capture_until(id, filling, 150))) << "nine points to the computer";
    const int status = brelvo.wait(20);
    ASSERT_NE(status, -1) << "still running after the fill";
    ASSERT_TRUE(WIFEXITED(status)) << brelvo.error_output();
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

class PadWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "these tests draw on an X server";
        std::signal(SIGPIPE, SIG_IGN);  // writing to a game that has gone is not a crash
        char made[] = "/tmp/brelvo-pads-XXXXXX";
        ASSERT_NE(mkdtemp(made), nullptr);
        dir = made;
    }
    void TearDown() override {
        if (commands >= 0) {
            close(commands);
        }
        brelvo.reset();
        unlink((dir + "/pads").c_str());
        rmdir(dir.c_str());
    }

    // Starts the game with its virtual pads, in SDL2's controller layout or the raw one.
    void start_with_pads([[maybe_unused]] bool controllers) {
#ifndef BRELVO_PADS_LIBRARY_PATH
        GTEST_SKIP() << "needs sdl12-compat: tools/test.sh fetches Debian's";
#else
        const std::string fifo = dir + "/pads";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        start({"BRELVO_VIRTUAL_PADS=" + fifo, "SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS=1",
               std::string("SDL12COMPAT_USE_GAME_CONTROLLERS=") + (controllers ? "1" : "0")},
              BRELVO_PADS_LIBRARY_PATH);
        // The game's own library opens the other end as it loads.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (commands < 0 && std::chrono::steady_clock::now() < deadline) {
            commands = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_GE(commands, 0) << "the virtual pads never listened";
        fcntl(commands, F_SETFL, 0);
        id = window::find();
        ASSERT_FALSE(id.empty()) << brelvo->error_output();
#endif
    }

    void start(std::vector<std::string> env, const std::string& library_path) {
        env.insert(env.end(), {"SDL_AUDIODRIVER=dummy", "SDL_VIDEODRIVER=x11",
                               "LD_PRELOAD=" BRELVO_PADS_SHIM});
        // The preloaded library comes before the sanitizer's own; it allocates nothing
        // that the sanitizer must see.
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::string asan_options = std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                                   ":verify_asan_link_order=0";
        if (!library_path.empty()) {
            env.push_back("LD_LIBRARY_PATH=" + library_path);
            // Debian 12's sdl12-compat 1.2.60 over its SDL2 leaves blocks of libdbus and of
            // X libraries SDL2 has unloaded whenever a window has opened, pads or none
            // (unnamed frames, which no suppression can match). The game's own leaks are
            // looked for in every other window test, on the machine's own library.
            asan_options += ":detect_leaks=0";
        }
        env.push_back(asan_options);
        // A report is a failure; the list of suppressions used is not the game's to say.
        const char* lsan = std::getenv("LSAN_OPTIONS");
        env.push_back(std::string("LSAN_OPTIONS=") + (lsan != nullptr ? lsan : "") +
                      ":print_suppressions=0");
        brelvo = std::make_unique<process::Child>(BRELVO_EXE, env);
    }

    void set(int pad, char control, int index, int value) {
        const std::string line = std::to_string(pad) + " " + control + " " + std::to_string(index) +
                                 " " + std::to_string(value) + "\n";
        ASSERT_EQ(write(commands, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }

    // One press of one pad, as a player makes it: pushed, seen, let go, a rest; pushed
    // again if nothing showed (a loaded machine can hold the re-arm back past the rest).
    void press(int pad, char control, int index, int value) {
        const window::Picture before = window::capture(id);
        bool shown = false;
        for (int tries = 0; tries < 3 && !shown; ++tries) {
            set(pad, control, index, value);
            shown = window::capture_until(
                        id, [&](const window::Picture& p) { return p.rgb != before.rgb; }, 2)
                        .rgb != before.rgb;
            set(pad, control, index, 0);  // the hat centred, the stick at rest, the button up
            std::this_thread::sleep_for(std::chrono::milliseconds(80));
        }
        EXPECT_TRUE(shown) << "pad " << pad << " " << control << index;
    }

    // A key's way on a pad: the d-pad (the hat, or in the controller layout its buttons)
    // on even presses, the left stick on odd ones.
    void press_way(int pad, char way, int nth, bool controllers) {
        const std::string ways = "udlr";
        const auto at = ways.find(way);
        if (nth % 2 == 1) {
            press(pad, 'a', at < 2 ? 1 : 0, at % 2 == 0 ? -32768 : 32767);
        } else if (controllers) {
            press(pad, 'b', 11 + static_cast<int>(at), 1);
        } else {
            const int hats[] = {1, 4, 8, 2};  // SDL's hat bits: up, down, left, right
            press(pad, 'h', 0, hats[at]);
        }
    }

    void expect_clean_exit() {
        const int status = brelvo->wait(20);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << brelvo->error_output();
        EXPECT_EQ(WEXITSTATUS(status), 0) << brelvo->error_output();
    }

    std::string dir;
    int commands = -1;
    std::unique_ptr<process::Child> brelvo;
    std::string id;
};

// The same walks as PLAYER0_WINS and PLAYER1_WINS, as pad ways.
const std::string PAD0_WINS = "uurrrrrrrd";
const std::string PAD1_WINS = "uullllllld";

TEST_F(PadWindow, ARoundWonOnTheRawLayoutsHatAndStickWhereNoButtonQuits) {
    start_with_pads(false);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0))));
    // Player 1's pad is player 1's: its blade turns up and back.
    press_way(1, 'u', 0, false);
    EXPECT_EQ(cell(window::capture(id), 7, 3), BLUE);
    press_way(1, 'l', 1, false);
    for (std::size_t i = 0; i < PAD0_WINS.size(); ++i) {
        press_way(0, PAD0_WINS[i], static_cast<int>(i), false);
    }
    EXPECT_TRUE(round_start(1, 0)(window::capture_until(id, round_start(1, 0))));
    // No button of a raw layout ends the program: its numbers differ from pad to pad.
    for (int button = 0; button < 15; ++button) {
        set(0, 'b', button, 1);
        set(0, 'b', button, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(brelvo->running());
    window::key(id, "Escape");
    expect_clean_exit();
}

TEST_F(PadWindow, ARoundWonInTheControllerLayoutThenBackEndsTheProgram) {
    start_with_pads(true);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0))));
    for (std::size_t i = 0; i < PAD1_WINS.size(); ++i) {
        press_way(1, PAD1_WINS[i], static_cast<int>(i), true);
    }
    EXPECT_TRUE(round_start(0, 1)(window::capture_until(id, round_start(0, 1))));
    set(0, 'b', 4, 1);  // Back
    expect_clean_exit();
}

// A library that cannot start its joysticks: the game plays on with keys, and says nothing.
TEST_F(PadWindow, WithoutJoysticksKeysPlayAndNothingIsSaid) {
    start({"BRELVO_NO_JOYSTICKS=1"}, "");
    id = window::find();
    ASSERT_FALSE(id.empty()) << brelvo->error_output();
    ASSERT_TRUE(round_start(0, 0)(window::capture_until(id, round_start(0, 0))));
    window::key(id, "d");
    EXPECT_EQ(cell(window::capture_until(
                       id, [](const window::Picture& p) { return cell(p, 3, 4) == RED; }),
                   3, 4),
              RED);
    window::key(id, "Escape");
    expect_clean_exit();
    EXPECT_EQ(brelvo->error_output(), "");
}

}  // namespace
