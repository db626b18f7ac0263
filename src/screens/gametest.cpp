#include "screens/gametest.h"

#include "shell/director.h"

namespace {

constexpr Uint32 STEP_MS = 10;

}  // namespace

GameTest::~GameTest() {
    timers.remove_all();
}

void GameTest::run() {
    for (unsigned int x = 0; x < 9; ++x) {
        for (unsigned int y = 0; y < 9; ++y) {
            set_pixel(x, y, {0, 0, 0});
        }
    }
    timer_id = timers.add(STEP_MS, GameTest::timer, this);
}

void GameTest::input(int /*player*/, Button /*button*/) {}

bool GameTest::update() {
    Color colour = get_pixel(cursor % 9, cursor / 9);
    colour.r = static_cast<Uint8>(colour.r + 1);
    if (colour.r == 0) {
        return false;
    }
    colour.g = static_cast<Uint8>(colour.g + 1);
    colour.b = static_cast<Uint8>(colour.b + 1);
    cursor = (cursor + 1) % 81;
    set_pixel(cursor % 9, cursor / 9, colour);
    return true;
}

Uint32 GameTest::timer(Uint32 interval, void* param) {
    auto* game = static_cast<GameTest*>(param);
    if (game->update()) {
        Director::push_render();
        return interval;
    }
    Director::game_over(0);
    game->timers.remove(game->timer_id);
    return 0;
}
