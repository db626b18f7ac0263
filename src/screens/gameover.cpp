#include "screens/gameover.h"

#include "shell/director.h"

namespace {

constexpr Uint32 STEP_MS = 100;
constexpr Uint32 CLOSING_MS = 500;
constexpr int CELLS = 81;

}  // namespace

GameOver::~GameOver() {
    timers.remove_all();
}

void GameOver::run() {
    timer_id = timers.add(STEP_MS, GameOver::timer, this);
}

void GameOver::input(int /*player*/, Button /*button*/) {}

bool GameOver::update() {
    const int column = winner < 0 ? filled / 9 : 8 - filled / 9;
    const int row = 8 - filled % 9;
    set_pixel(column, row, {0, 255, 0});
    ++filled;
    return filled < CELLS;
}

Uint32 GameOver::timer(Uint32 interval, void* param) {
    auto* screen = static_cast<GameOver*>(param);
    const bool more = screen->update();
    Director::push_render();
    if (more) {
        return interval;
    }
    screen->timers.add(CLOSING_MS, GameOver::timer2, nullptr);
    screen->timers.remove(screen->timer_id);
    return 0;
}

Uint32 GameOver::timer2(Uint32 /*interval*/, void* /*param*/) {
    Director::game_over(0);
    return 0;
}
