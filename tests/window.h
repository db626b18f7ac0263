#pragma once

#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace window {

// The window's pixels as X has them, read back like a screenshot.
struct Picture {
    int w = 0;
    int h = 0;
    std::vector<unsigned char> rgb;

    std::array<int, 3> at(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * w + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The colour in the middle of grid cell (column, row) of a picture of the whole window;
// column -1 and 9 are the score columns. An empty picture has no colour.
inline std::array<int, 3> cell(const Picture& p, int column, int row) {
    if (p.w == 0) {
        return {-1, -1, -1};
    }
    const int s = std::min(p.w / 11, p.h / 9);
    return p.at((p.w - 9 * s) / 2 + column * s + s / 2, (p.h - 9 * s) / 2 + row * s + s / 2);
}

inline Picture capture(const std::string& id) {
    Picture picture;
    const std::string size = process::shell(
        "xwininfo -id " + id + " | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w, h}'");
    if (std::sscanf(size.c_str(), "%d %d", &picture.w, &picture.h) != 2) {
        return picture;
    }
    FILE* pipe = popen(("import -window " + id + " -depth 8 rgb:- 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return picture;
    }
    picture.rgb.resize(static_cast<size_t>(picture.w) * picture.h * 3);
    const size_t got = fread(picture.rgb.data(), 1, picture.rgb.size(), pipe);
    pclose(pipe);
    if (got != picture.rgb.size()) {
        picture = Picture{};
    }
    return picture;
}

// The game's top-level window, found by its title once it shows the match's first frame
// (both score columns still grey); empty when that has not happened within `seconds`.
// Over SDL2 the first window made can be shown and then replaced by another before
// anything is drawn, so a window counts only once the game has drawn into it.
inline std::string find(double seconds = 20) {
    constexpr std::array<int, 3> GREY{100, 100, 100};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string id = process::shell(
            "xdotool search --onlyvisible --name '^Brelvo$' 2>/dev/null | head -n 1");
        if (!id.empty()) {
            const Picture p = capture(id);
            if (cell(p, -1, 0) == GREY && cell(p, 9, 0) == GREY) {
                return id;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

// Takes pictures until one satisfies `good`, for at most `seconds`; returns the last.
template <typename Condition>
Picture capture_until(const std::string& id, Condition good, double seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    Picture picture = capture(id);
    while (!good(picture) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        picture = capture(id);
    }
    return picture;
}

inline void key(const std::string& id, const std::string& name) {
    process::shell("xdotool key --window " + id + " " + name);
}

// Asks the window to close the way a window manager does: a WM_DELETE_WINDOW message.
inline bool close(const std::string& id) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(id);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return sent != 0;
}

}  // namespace window
