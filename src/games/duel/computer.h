#pragma once

#include <SDL.h>

#include <array>
#include <deque>
#include <vector>

#include "framework/game.h"
#include "framework/press.h"
#include "games/duel/bout.h"
#include "games/duel/picture.h"

// The computer as player 1: it watches the grid as a player does (white bodies, the red
// and the blue blade) and presses player 1's ways, so every rule of the duel holds for it
// as for a person, the 50 ms re-arm included. It knows the duel's rules, as a player
// does, and nothing of the game's insides.
//
// It plays fair: it acts on what the screen showed one reaction time ago, never less than
// 150 ms, knowing its own presses since, as a player does; its presses come 100 ms less
// than a reaction time apart, never closer than 100 ms. Between rounds it moves its
// reaction toward the one at which it wins half the rounds against this player, so that a
// match stays close; against a player not met before it searches in big steps for the
// first few rounds, the bigger the sooner a round was over. At whatever reaction, it
// always plays to win.
class Computer {
  public:
    using Cells = picture::Grid;

    static constexpr Uint32 FASTEST_MS = 150;
    static constexpr Uint32 SLOWEST_MS = 700;
    static constexpr Uint32 START_MS = 400;
    static constexpr Uint32 PRESS_GAP_MS = 100;

    // Starts at `reaction_ms` (START_MS when 0), held within the bounds.
    explicit Computer(Uint32 reaction_ms = 0);

    // What the screen shows at `now` (ms, any clock that only goes forward), and the
    // presses the computer makes then: one of player 1's ways pressed and let go, or
    // none. Given the same frames at the same times it always does the same.
    std::vector<Press> decide(const Cells& cells, Uint32 now);
    // When it next wants to look again though the screen stays as it is, or 0.
    [[nodiscard]] Uint32 due() const { return next_look; }

    // A round's result, as the duel reports it: 1 the computer won, -1 the player.
    void round_over(int code);
    [[nodiscard]] Uint32 reaction() const { return reaction_ms; }

    using Sight = picture::Sight;
    // The press that serves the computer best from what it sees, or -1 to wait. `bold`
    // when the grid has stood still a while: waiting then wins nothing, so it presses.
    // `spent`: presses (bits by Game::Button) already made from this very sight, to
    // which the game came back; it tries another rather than go round in circles.
    static int choose(const Sight& sight, bool bold, unsigned spent = 0);

  private:
    struct View {
        Uint32 at;
        Uint32 number;  // frames counted from the first
        Cells cells;
    };
    struct Pending {
        Uint32 at;
        Uint32 frame;        // the newest frame when it pressed: later ones show the press
        Bout::Fighter then;  // where the press put the computer's fighter
    };

    Uint32 reaction_ms;
    Uint32 step_ms;            // how far the next round's result moves the reaction
    int searching;             // first rounds left in which a round's length scales the step
    bool round_shown = false;  // whether the round's first frame has been seen
    Uint32 round_from = 0;     // and when
    std::deque<View> seen;     // the frames of the last reaction time, oldest first
    Uint32 frames = 0;
    Uint32 waver = 1;                         // drives the wobble
    Uint32 wobble = 0;                        // added to the reaction until the next press
    Sight known;                              // the fighters as last made out
    std::deque<Pending> presses;              // its own, not yet seen on the grid
    std::deque<std::pair<Sight, int>> tried;  // its last presses, with what it saw then
    Uint32 next_look = 0;
};
