#pragma once

#include <SDL.h>

#include <array>
#include <memory>
#include <vector>

#include "framework/frame.h"
#include "framework/press.h"
#include "framework/timers.h"
#include "platform/joysticks.h"
#include "shell/pads.h"
#include "shell/play.h"

class Computer;

// Who plays what. Every press from every source (the keys, the pads, the computer, a
// friend on another device, a phone on the big screen) becomes a Press here, and one rule,
// by how the match is played, makes it a key of the player it plays for: alone or hosting
// a friend, every key of this device plays player 0; the computer and the friend play
// player 1. On the big screen a phone holding a side plays it, and this device's keys play
// only the sides no phone holds and the computer does not play. The game then gets that
// key as if it had been pressed, so every rule of a key holds for each source.
class Controls {
  public:
    explicit Controls(const Play& setup);
    ~Controls();
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;

    // Waits for the next event, as SDL_WaitEvent; false if SDL cannot wait.
    bool wait(SDL_Event& event);

    // The keys the current screen gets for one event, in order: for the players' own
    // events (keys, pads, the friend, the computer's wake-up) what the rule makes of them,
    // Esc included when a pad's Back asks for it; any other event as it is.
    std::vector<SDL_Event> keys(const SDL_Event& event);
    // The frame just shown at `now`: the computer looks at it, and it presses at once
    // what it decides.
    std::vector<SDL_Event> shown(const Frame& frame, Uint32 now);
    // A round's result: the computer learns from it and the home is told its level.
    void round_over(int code);

    // The key that a press makes, or nothing (type 0) for a press that plays no one.
    SDL_Event key(const Press& press);
    [[nodiscard]] Play::Mode mode() const { return setup.mode; }
    [[nodiscard]] const Computer* computer() const { return opponent.get(); }
    // For the tests, which look at the queue as the wait does.
    bool look(SDL_Event& event) { return joysticks->look(event); }

  private:
    using Held = std::array<std::array<int, 4>, 2>;  // by key set or side, then way

    [[nodiscard]] int player_of(const Press& press) const;
    std::vector<SDL_Event> pad_keys(const std::vector<SDL_Event>& made);
    std::vector<SDL_Event> think(Uint32 now);
    [[nodiscard]] bool phone_holds(int player) const {
        return phones[static_cast<std::size_t>(player & 1)];
    }
    [[nodiscard]] bool computer_plays(int player) const { return opponent && player == 1; }
    // Every key held, let go.
    std::vector<SDL_Event> let_go();
    // The keys one source holds as `player`, let go.
    std::vector<SDL_Event> let_go(Press::From from, int player);
    // A BR_SIDE: a phone's press, or a side taken by a phone or given back to the keys.
    std::vector<SDL_Event> side(int code);
    static Uint32 wake(Uint32 interval, void* param);

    Play setup;
    Pads pads{Joysticks::layout()};
    std::unique_ptr<Joysticks> joysticks;  // opened once the media run, closed before they stop
    std::unique_ptr<Computer> opponent;    // player 1 when playing alone
    // The player each source's held way went down as, so that it comes up as the same
    // key though the rule changed in between (a friend who left): -1 when not held.
    std::array<Held, 4> held{};
    std::array<bool, 2> phones{};  // the sides a phone holds: only ever on the big screen
    bool holding = false;          // a match held while a friend or a phone is not heard
    Frame::Grid grid{};            // the grid of the last frame shown
    Timers alarm;                  // the computer's next look
    Timers::Id alarm_id = 0;
    Uint32 alarm_at = 0;
};
