#include "games/duel/picture.h"

#include <cstdlib>

namespace picture {

namespace {

constexpr int SIZE = Bout::SIZE;
constexpr int NONE = Bout::UNSEEN;

bool same(const Game::Color& a, const Game::Color& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

bool adjacent(int ax, int ay, int bx, int by) {
    return std::abs(ax - bx) + std::abs(ay - by) == 1;
}

int way_between(int fx, int fy, int tx, int ty) {
    for (int way = Game::UP; way <= Game::RIGHT; ++way) {
        if (fx + Bout::DX[way] == tx && fy + Bout::DY[way] == ty) {
            return way;
        }
    }
    return NONE;
}

// A blade that cannot be seen points off the grid: at the edge its body stands on.
int off_grid_way(int x, int y, int before) {
    int ways[2];
    int count = 0;
    for (int way = Game::UP; way <= Game::RIGHT; ++way) {
        if (!Bout::on_grid(x + Bout::DX[way], y + Bout::DY[way])) {
            ways[count++] = way;
        }
    }
    if (count == 1) {
        return ways[0];
    }
    if (count == 2 && (before == ways[0] || before == ways[1])) {
        return before;  // a corner: the way it was last seen to point
    }
    return NONE;
}

}  // namespace

Grid of(const Bout& bout) {
    Grid grid{};
    for (int player = 0; player < 2; ++player) {
        paint(bout.fighters[player], player, true, [&grid](int x, int y, Game::Color colour) {
            grid[static_cast<std::size_t>(y) * SIZE + static_cast<std::size_t>(x)] = colour;
        });
    }
    return grid;
}

Sight look(const Grid& grid, const Sight& before) {
    int whites[2][2];
    int white = 0;
    int red[2] = {NONE, NONE};
    int blue[2] = {NONE, NONE};
    for (int i = 0; i < SIZE * SIZE; ++i) {
        const Game::Color& c = grid[static_cast<std::size_t>(i)];
        const int x = i % SIZE;
        const int y = i / SIZE;
        if (same(c, BLACK)) {
            continue;
        }
        if (same(c, WHITE) && white < 2) {
            whites[white][0] = x;
            whites[white][1] = y;
            ++white;
        } else if (same(c, BLADE[0]) && red[0] == NONE) {
            red[0] = x;
            red[1] = y;
        } else if (same(c, BLADE[1]) && blue[0] == NONE) {
            blue[0] = x;
            blue[1] = y;
        } else {
            return {};  // not two fighters: another screen, or a round already won
        }
    }
    if (white != 2) {
        return {};
    }
    // Which body is whose: each blade lies beside its own body. Where both readings fit,
    // the one that keeps player 1 nearer where it was.
    const auto fits = [&](int mine) {
        const int* me = whites[mine];
        const int* foe = whites[1 - mine];
        return (blue[0] == NONE || adjacent(me[0], me[1], blue[0], blue[1])) &&
               (red[0] == NONE || adjacent(foe[0], foe[1], red[0], red[1]));
    };
    const auto distance = [&](int mine) {
        return std::abs(whites[mine][0] - before.me.x) + std::abs(whites[mine][1] - before.me.y);
    };
    int mine = 0;
    if (fits(0) != fits(1)) {
        mine = fits(0) ? 0 : 1;
    } else if (!fits(0)) {
        return {};
    } else if (before.found && distance(1) < distance(0)) {
        mine = 1;
    }
    Sight sight;
    sight.found = true;
    const auto fighter = [&](const int* body, const int* blade, int was) {
        Bout::Fighter f{body[0], body[1], NONE};
        f.way = blade[0] == NONE ? off_grid_way(f.x, f.y, was)
                                 : way_between(f.x, f.y, blade[0], blade[1]);
        return f;
    };
    sight.me = fighter(whites[mine], blue, before.found ? before.me.way : NONE);
    sight.foe = fighter(whites[1 - mine], red, before.found ? before.foe.way : NONE);
    return sight;
}

}  // namespace picture
