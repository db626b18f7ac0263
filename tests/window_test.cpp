#include <gtest/gtest.h>

#include <sys/wait.h>

#include "process.h"
#include "window.h"

namespace {

constexpr std::array<int, 3> BLACK{0, 0, 0};
constexpr std::array<int, 3> GREY{100, 100, 100};

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

TEST_F(RealWindow, ClosingTheWindowEndsTheProgram) {
    ASSERT_TRUE(window::close(id));
    expect_clean_exit();
}

}  // namespace
