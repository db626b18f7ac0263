#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/game.h"
#include "input.h"

namespace support {

// SDL started for one test with the drivers the test environment names.
struct SdlSession {
    explicit SdlSession(Uint32 flags = SDL_INIT_VIDEO | SDL_INIT_TIMER) {
        ok = SDL_Init(flags) == 0;
    }
    ~SdlSession() { SDL_Quit(); }
    SdlSession(const SdlSession&) = delete;
    SdlSession& operator=(const SdlSession&) = delete;
    bool ok;
};

// A 32-bit software surface whose pixels read back exactly.
class Surface {
  public:
    Surface(int w, int h)
        : surface(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xff0000, 0x00ff00, 0x0000ff, 0),
                  SDL_FreeSurface) {}
    SDL_Surface* get() const { return surface.get(); }

    std::array<int, 3> rgb(int x, int y) const {
        const auto* row = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch;
        const Uint32 pixel = reinterpret_cast<const Uint32*>(row)[x];
        return {static_cast<int>((pixel >> 16) & 0xff), static_cast<int>((pixel >> 8) & 0xff),
                static_cast<int>(pixel & 0xff)};
    }

    // Paints every pixel one colour, so that tests can see what a draw left alone.
    void fill(Uint8 r, Uint8 g, Uint8 b) {
        SDL_FillRect(surface.get(), nullptr, SDL_MapRGB(surface->format, r, g, b));
    }

    // Counts the pixels of one colour inside a rectangle.
    int count(int x, int y, int w, int h, std::array<int, 3> colour) const {
        int found = 0;
        for (int j = y; j < y + h; ++j) {
            for (int i = x; i < x + w; ++i) {
                found += rgb(i, j) == colour ? 1 : 0;
            }
        }
        return found;
    }

  private:
    std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)> surface;
};

// Another thread starting and ending SDL timers, one every 4 us, so that the list of
// timers changes while callbacks run: the moment at which SDL 1.2 ignores the value a
// callback returns (about one one-shot timer in twenty fires again under it). Paced, not a
// free spin: SDL2 keeps a removed timer in its timer thread's list until it falls due and
// walks that list for every new timer, so a spin of long timers starves that thread;
// 1 ms timers at this pace leave under 250 in the list.
class TimerChurn {
  public:
    TimerChurn()
        : worker([this] {
              using Clock = std::chrono::steady_clock;
              while (!stop) {
                  const auto next = Clock::now() + std::chrono::microseconds(4);
                  SDL_RemoveTimer(SDL_AddTimer(1, idle_callback, nullptr));
                  while (Clock::now() < next) {
                  }
              }
          }) {}
    ~TimerChurn() {
        stop = true;
        worker.join();
    }
    TimerChurn(const TimerChurn&) = delete;
    TimerChurn& operator=(const TimerChurn&) = delete;

  private:
    static Uint32 idle_callback(Uint32 interval, void* /*param*/) { return interval; }
    std::atomic<bool> stop{false};
    std::thread worker;
};

// The next event in SDL's queue that is not a focus change. SDL 1.2's dummy video driver
// reports none; sdl12-compat over SDL2 queues focus lost and gained (SDL_ACTIVEEVENT) as
// its hidden window opens, whenever it pumps. Both are right, the game ignores focus, so
// tests look only at the events the game and they themselves post.
inline bool poll_event(SDL_Event& event) {
    while (SDL_PollEvent(&event) == 1) {
        if (event.type != SDL_ACTIVEEVENT) {
            return true;
        }
    }
    return false;
}

// Every event now in SDL's queue but focus changes, oldest first.
inline std::vector<SDL_Event> drain_events() {
    std::vector<SDL_Event> events;
    SDL_Event event;
    while (poll_event(event)) {
        events.push_back(event);
    }
    return events;
}

using input::key_event;

// Names a parameterised case after the surface size it draws on, as "550x450".
template <typename Param>
std::string size_name(const ::testing::TestParamInfo<Param>& info) {
    return std::to_string(info.param.w) + "x" + std::to_string(info.param.h);
}

constexpr std::array<int, 3> BLACK{0, 0, 0};
constexpr std::array<int, 3> WHITE{255, 255, 255};
constexpr std::array<int, 3> GREEN{0, 255, 0};
constexpr std::array<int, 3> GREY{100, 100, 100};

}  // namespace support
