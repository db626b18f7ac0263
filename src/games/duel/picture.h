#pragma once

#include "framework/frame.h"
#include "framework/game.h"
#include "games/duel/bout.h"

// How the duel looks on the grid, and how a look at the grid tells the duel back: the one
// place its colours live. A fighter is a white body cell with its blade beside it, red for
// player 0 and blue for player 1; a blade off the grid is not seen.
namespace picture {

constexpr Game::Color BLACK{0, 0, 0};
constexpr Game::Color WHITE{255, 255, 255};
constexpr Game::Color BLADE[2] = {{255, 0, 0}, {0, 0, 255}};

using Grid = Frame::Grid;

// The cells a player's fighter covers, each with its colour, handed to `set(x, y, colour)`:
// the body first, then the blade where it lies on the grid. Erased, both are black.
template <class Set>
void paint(const Bout::Fighter& fighter, int player, bool shown, Set&& set) {
    set(fighter.x, fighter.y, shown ? WHITE : BLACK);
    int x = 0;
    int y = 0;
    if (fighter.tip(x, y) && Bout::on_grid(x, y)) {
        set(x, y, shown ? BLADE[player] : BLACK);
    }
}

// A grid that shows this bout and nothing else: player 0 painted first.
Grid of(const Bout& bout);

// Both fighters as made out on a grid.
struct Sight {
    bool found = false;
    Bout::Fighter me{};   // player 1, the blue blade
    Bout::Fighter foe{};  // player 0, the red blade

    [[nodiscard]] Bout bout() const { return Bout{{foe, me}}; }
    bool operator==(const Sight& o) const { return found == o.found && me == o.me && foe == o.foe; }
};

// Finds both fighters on a grid, as a player makes them out: two white bodies, the red
// and the blue blade, each beside its own body. A blade off the grid points at the edge
// its body stands on (Bout::UNSEEN where that is a corner it did not point at before);
// `before` breaks the ties, where the two bodies could be either's. Nothing is found on
// another screen, or on a round already won.
Sight look(const Grid& grid, const Sight& before);

}  // namespace picture
