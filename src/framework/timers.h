#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>

// The timers one screen has started on SDL's timer thread.
//
// SDL 1.2 leaves two traps that this set closes:
//  - SDL_RemoveTimer does not wait for a callback that is already running, so a screen
//    could be destroyed under its own callback. Here every callback runs under one lock,
//    and removing a timer takes that lock: once remove() or the destructor returns, the
//    callback is neither running nor will it run.
//  - When the list of timers changes while a callback runs, SDL ignores the value that
//    callback returns, so a callback that returns 0 can go on firing. Here a callback
//    that returns 0 has its timer removed for it before SDL looks at the value.
// Callbacks are told apart by a number that is never reused, so a timer that has ended
// can never be mistaken for a new one that SDL placed at the same address.
class Timers {
  public:
    using Id = std::uint64_t;

    Timers() = default;
    ~Timers();
    Timers(const Timers&) = delete;
    Timers& operator=(const Timers&) = delete;

    // Calls `callback(interval, param)` every `interval` ms on the timer thread until it
    // returns 0 or the timer is removed. Returns 0 when SDL cannot start the timer.
    Id add(Uint32 interval, SDL_NewTimerCallback callback, void* param);
    // Ends one timer of this set; nothing happens for one that has already ended. May be
    // called from any callback, its own included.
    void remove(Id id);
    // Ends every timer of this set, waiting for a callback that is running.
    void remove_all();
    // How many timers of this set are still to fire.
    [[nodiscard]] std::size_t pending() const;

  private:
    static Uint32 dispatch(Uint32 interval, void* key) noexcept;
};
