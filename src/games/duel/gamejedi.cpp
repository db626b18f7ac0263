#include "games/duel/gamejedi.h"

#include <cstdlib>

#include "framework/resources.h"
#include "games/duel/picture.h"
#include "games/duel/sounds.h"
#include "shell/director.h"

namespace {

constexpr int IDLE_VOLUME = 38;  // of the mixer's 128: the hum stays under everything

}  // namespace

GameJedi::GameJedi() {
    // A clip that fails to load ends construction; free the ones already loaded, since
    // no destructor will.
    try {
        for (const char* name : sounds::STRIKES) {
            strike_sounds.push_back(load_sound(sounds::GAME, name));
        }
        for (const char* name : sounds::SWINGS) {
            swing_sounds.push_back(load_sound(sounds::GAME, name));
        }
        idle_sound = load_sound(sounds::GAME, sounds::IDLE);
        Mix_VolumeChunk(idle_sound, IDLE_VOLUME);
        on_sound = load_sound(sounds::GAME, sounds::ON);
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
            set_pixel(x, y, picture::BLACK);
        }
    }
    ready[0] = true;
    ready[1] = true;
    bout = Bout::start();
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
    paint(bout.fighters[player], player, true);
}

void GameJedi::unrender_player(int player) {
    paint(bout.fighters[player], player, false);
}

void GameJedi::paint(const Bout::Fighter& fighter, int player, bool shown) {
    picture::paint(fighter, player, shown, [this](int x, int y, Color colour) {
        set_pixel(static_cast<unsigned>(x), static_cast<unsigned>(y), colour);
    });
}

void GameJedi::input(int player, Button button) {
    if (!ready[player]) {
        return;
    }
    const Bout::Fighter was = bout.fighters[player];
    const Bout::Outcome outcome = bout.press(player, button);
    if (outcome.move == Bout::Move::DROPPED) {
        return;
    }
    paint(was, player, false);
    if (outcome.move == Bout::Move::TURNED) {
        const auto index = static_cast<unsigned>(std::rand()) % swing_sounds.size();
        Mix_PlayChannelTimed(-1, swing_sounds[index], 0, -1);
    }
    if (outcome.clash) {
        strike();
    } else {
        render_player(player);
    }
    Director::push_render();
    for (const int hitter : outcome.hits) {
        if (hitter != Bout::NOBODY) {
            victory(hitter);
        }
    }
    ready[player] = false;
    timers.add(Bout::REARM_MS, GameJedi::timer, &ready[player]);
}

void GameJedi::strike() {
    // Channel 0 carries the hum; every other channel stops for the strike, the swing that
    // led to it included.
    for (int channel = 1; channel < Mix_AllocateChannels(-1); ++channel) {
        Mix_HaltChannel(channel);
    }
    const auto index = static_cast<unsigned>(std::rand()) % strike_sounds.size();
    Mix_PlayChannelTimed(-1, strike_sounds[index], 0, -1);
    // The blades as they met, then flipped: the bout has flipped them already.
    Bout met = bout;
    met.flip();
    for (int p = 0; p < 2; ++p) {
        paint(met.fighters[p], p, false);
    }
    render_player(0);
    render_player(1);
}

void GameJedi::victory(int player) {
    Mix_HaltChannel(0);
    Director::game_over(player == 0 ? -1 : 1);
}
