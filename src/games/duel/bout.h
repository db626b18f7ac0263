#pragma once

#include "framework/game.h"

// The duel's rules as a value: two fighters on the 9 by 9 grid, each a body cell with a
// blade one cell beside it, and what one press does to them. The duel plays by it, and
// the computer looks ahead by it, knowing the rules as any player does.
struct Bout {
    static constexpr int SIZE = 9;
    // After a press that counts, a player's presses count again only this much later (ms).
    static constexpr unsigned REARM_MS = 50;
    // A blade the computer cannot make out: off the grid, with its body in a corner.
    static constexpr int UNSEEN = -1;
    // One step each way, in Game::Button order: up, down, left, right.
    static constexpr int DX[4] = {0, 0, -1, 1};
    static constexpr int DY[4] = {-1, 1, 0, 0};

    struct Fighter {
        int x;
        int y;
        int way;  // where the blade points: a Game::Button, or UNSEEN

        // The cell the blade lies on, on the grid or not; false while its way is unseen.
        bool tip(int& tip_x, int& tip_y) const;
        bool operator==(const Fighter& o) const { return x == o.x && y == o.y && way == o.way; }
    };

    // What a press did to the one who pressed.
    enum class Move { DROPPED, STEPPED, TURNED };
    static constexpr int NOBODY = -1;

    struct Outcome {
        Move move = Move::DROPPED;
        bool clash = false;
        // The players whose blade then lies on the other's body, the one who pressed
        // first; NOBODY where there are fewer than two.
        int hits[2] = {NOBODY, NOBODY};
    };

    Fighter fighters[2];  // by player: 0 the red blade, 1 the blue

    // A round's start: facing each other across the middle row.
    static Bout start();

    static bool on_grid(int x, int y) { return x >= 0 && x < SIZE && y >= 0 && y < SIZE; }
    // The edge guard: a fighter on an edge neither steps off it nor points its blade at it.
    [[nodiscard]] bool blocked(int player, int way) const;
    // A press the edge guard lets through: the way the blade points steps, another turns.
    // Nothing else follows from it here; press() is the whole of it.
    Move move(int player, int way);
    // Whether the two blades' tips lie on the same cell, on the grid or not.
    [[nodiscard]] bool clashing() const;
    // The clash: both blades turn round.
    void flip();
    // Whether the player's blade lies on the other fighter's body.
    [[nodiscard]] bool hits(int player) const;

    // One press and all that follows from it: the move, a clash, then the hits.
    Outcome press(int player, int way);
};
