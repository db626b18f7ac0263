#include "games/gamejedi.h"

#include <cstdlib>

#include "framework/resources.h"
#include "shell/director.h"

namespace {

constexpr Game::Color BLACK{0, 0, 0};
constexpr Game::Color WHITE{255, 255, 255};
constexpr Game::Color BLADE[2] = {{255, 0, 0}, {0, 0, 255}};

constexpr int IDLE_VOLUME = 38;  // of the mixer's 128: the hum stays under everything
constexpr Uint32 REARM_MS = 50;

// Where the blade of a fighter at (x, y) lies; it may lie off the grid after a clash.
struct Cell {
    unsigned int x;
    unsigned int y;
    bool on_grid;
};

Cell blade_of(const GameJedi::Player& p) {
    switch (p.direction) {
        case Game::UP:
            return {p.x, p.y - 1, p.y != 0};
        case Game::DOWN:
            return {p.x, p.y + 1, p.y <= 7};
        case Game::LEFT:
            return {p.x - 1, p.y, p.x != 0};
        case Game::RIGHT:
        default:
            return {p.x + 1, p.y, p.x <= 7};
    }
}

Game::Button opposite(Game::Button b) {
    switch (b) {
        case Game::UP:
            return Game::DOWN;
        case Game::DOWN:
            return Game::UP;
        case Game::LEFT:
            return Game::RIGHT;
        case Game::RIGHT:
        default:
            return Game::LEFT;
    }
}

// The edge guard: a fighter on an edge neither steps off it nor points its blade at it.
bool blocked(const GameJedi::Player& p, Game::Button b) {
    return (b == Game::UP && p.y == 0) || (b == Game::DOWN && p.y > 7) ||
           (b == Game::LEFT && p.x == 0) || (b == Game::RIGHT && p.x > 7);
}

}  // namespace

GameJedi::GameJedi() {
    // A clip that fails to load ends construction; free the ones already loaded, since
    // no destructor will.
    try {
        for (const char* name : {"strike0", "strike1", "strike2"}) {
            strike_sounds.push_back(load_sound("gamejedi", name));
        }
        for (const char* name :
             {"swing0", "swing1", "swing2", "swing3", "swing4", "swing5", "swing6", "swing7"}) {
            swing_sounds.push_back(load_sound("gamejedi", name));
        }
        idle_sound = load_sound("gamejedi", "idle");
        Mix_VolumeChunk(idle_sound, IDLE_VOLUME);
        on_sound = load_sound("gamejedi", "on");
    } catch (...) {
        free_sounds();
        throw;
    }
}

GameJedi::~GameJedi() {
    timers.remove_all();
    free_sounds();
}

void GameJedi::free_sounds() {
    for (Mix_Chunk* clip : strike_sounds) {
        Mix_FreeChunk(clip);
    }
    for (Mix_Chunk* clip : swing_sounds) {
        Mix_FreeChunk(clip);
    }
    Mix_FreeChunk(idle_sound);  // null is allowed
    Mix_FreeChunk(on_sound);
}

void GameJedi::run() {
    for (unsigned int x = 0; x < 9; ++x) {
        for (unsigned int y = 0; y < 9; ++y) {
            set_pixel(x, y, BLACK);
        }
    }
    players[0].ready = true;
    players[0].x = 1;
    players[0].y = 4;
    players[0].direction = RIGHT;
    players[1].ready = true;
    players[1].x = 7;
    players[1].y = 4;
    players[1].direction = LEFT;
    render_player(0);
    render_player(1);
    Director::push_render();
    Mix_PlayChannelTimed(1, on_sound, 0, -1);
    SDL_Delay(static_cast<Uint32>(std::rand() % 300 + 50));
    Mix_PlayChannelTimed(0, idle_sound, -1, -1);
    Mix_PlayChannelTimed(-1, on_sound, 0, -1);
}

Uint32 GameJedi::timer(Uint32 /*interval*/, void* param) {
    static_cast<std::atomic<bool>*>(param)->store(true);
    return 0;
}

void GameJedi::render_player(int player) {
    const Player& p = players[player];
    set_pixel(p.x, p.y, WHITE);
    const Cell blade = blade_of(p);
    if (blade.on_grid) {
        set_pixel(blade.x, blade.y, BLADE[player]);
    }
}

void GameJedi::unrender_player(int player) {
    const Player& p = players[player];
    set_pixel(p.x, p.y, BLACK);
    const Cell blade = blade_of(p);
    if (blade.on_grid) {
        set_pixel(blade.x, blade.y, BLACK);
    }
}

void GameJedi::input(int player, Button button) {
    Player& p = players[player];
    if (!p.ready || blocked(p, button)) {
        return;
    }
    const int other = player == 0 ? 1 : 0;
    unrender_player(player);
    if (button == p.direction) {
        const Cell step = blade_of(p);
        p.x = step.x;
        p.y = step.y;
    } else {
        const auto index = static_cast<unsigned>(std::rand()) % swing_sounds.size();
        Mix_PlayChannelTimed(-1, swing_sounds[index], 0, -1);
    }
    p.direction = button;
    render_player(player);
    Director::push_render();
    check_clash();
    check_victory(player);
    check_victory(other);
    p.ready = false;
    timers.add(REARM_MS, GameJedi::timer, &p.ready);
}

void GameJedi::check_clash() {
    const Cell tip0 = blade_of(players[0]);
    const Cell tip1 = blade_of(players[1]);
    if (tip0.x != tip1.x || tip0.y != tip1.y) {
        return;
    }
    // Channel 0 carries the hum; every other channel stops for the strike.
    for (int channel = 1; channel < Mix_AllocateChannels(-1); ++channel) {
        Mix_HaltChannel(channel);
    }
    const auto index = static_cast<unsigned>(std::rand()) % strike_sounds.size();
    Mix_PlayChannelTimed(-1, strike_sounds[index], 0, -1);
    unrender_player(0);
    unrender_player(1);
    players[0].direction = opposite(players[0].direction);
    players[1].direction = opposite(players[1].direction);
    render_player(0);
    render_player(1);
}

void GameJedi::check_victory(int player) {
    const Player& attacker = players[player];
    const Player& defender = players[player == 0 ? 1 : 0];
    const Cell blade = blade_of(attacker);
    if (blade.x != defender.x || blade.y != defender.y) {
        return;
    }
    Mix_HaltChannel(0);
    Director::game_over(player == 0 ? -1 : 1);
}
