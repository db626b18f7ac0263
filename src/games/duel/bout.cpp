#include "games/duel/bout.h"

namespace {

bool a_way(int way) {
    return way >= Game::UP && way <= Game::RIGHT;
}

}  // namespace

bool Bout::Fighter::tip(int& tip_x, int& tip_y) const {
    if (!a_way(way)) {
        return false;
    }
    tip_x = x + DX[way];
    tip_y = y + DY[way];
    return true;
}

Bout Bout::start() {
    return {{{1, 4, Game::RIGHT}, {7, 4, Game::LEFT}}};
}

bool Bout::blocked(int player, int way) const {
    const Fighter& f = fighters[player];
    return !a_way(way) || !on_grid(f.x + DX[way], f.y + DY[way]);
}

Bout::Move Bout::move(int player, int way) {
    if (blocked(player, way)) {
        return Move::DROPPED;
    }
    Fighter& f = fighters[player];
    if (f.way == way) {
        f.x += DX[way];
        f.y += DY[way];
        return Move::STEPPED;
    }
    f.way = way;
    return Move::TURNED;
}

bool Bout::clashing() const {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    return fighters[0].tip(x0, y0) && fighters[1].tip(x1, y1) && x0 == x1 && y0 == y1;
}

void Bout::flip() {
    for (Fighter& f : fighters) {
        if (a_way(f.way)) {
            f.way ^= 1;  // up and down, left and right
        }
    }
}

bool Bout::hits(int player) const {
    const Fighter& defender = fighters[1 - player];
    int x = 0;
    int y = 0;
    return fighters[player].tip(x, y) && x == defender.x && y == defender.y;
}

Bout::Outcome Bout::press(int player, int way) {
    Outcome outcome;
    outcome.move = move(player, way);
    if (outcome.move == Move::DROPPED) {
        return outcome;
    }
    if (clashing()) {
        outcome.clash = true;
        flip();
    }
    int count = 0;
    for (const int p : {player, 1 - player}) {
        if (hits(p)) {
            outcome.hits[count++] = p;
        }
    }
    return outcome;
}
