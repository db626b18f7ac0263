#include <emscripten.h>

#include "framework/game.h"
#include "games/duel/bout.h"
#include "shell/events.h"
#include "web/bridge.h"

namespace {

void post(Uint8 type, int code) {
    SDL_Event event{};
    event.user.type = type;
    event.user.code = code;
    SDL_PushEvent(&event);  // a full queue drops it, as it would drop a key
}

}  // namespace

extern "C" {

// One press from wherever on the page it came: its source, the player it names (the key
// set, the pad or the phone's side), the way (0 to 3 as the game numbers them), down or
// up, and for a friend's press its number on the friend's page. This device's presses
// become that player's own key; a friend's plays whichever player the match gives the
// friend, a phone's its side while it holds it.
EMSCRIPTEN_KEEPALIVE void brelvo_web_press(int source, int player, int way, int down,
                                           Uint32 number) {
    if (way < Game::UP || way > Game::RIGHT || player < 0 || player > 1) {
        return;
    }
    if (source == web_source::HERE) {
        SDL_Event key = player_key(down != 0 ? SDL_KEYDOWN : SDL_KEYUP, Game::KEYS[player][way]);
        SDL_PushEvent(&key);
    } else if (source == web_source::FRIEND && number <= FRIEND_MOST_NUMBER) {
        post(BR_FRIEND,
             way + (down != 0 ? FRIEND_DOWN : 0) + static_cast<int>(number) * FRIEND_NUMBERED);
    } else if (source == web_source::PAD) {
        post(BR_SIDE, SIDE_PRESS + player * SIDE_CODES + (down != 0 ? FRIEND_DOWN : 0) + way);
    }
}

// Whose key a key is, by the game's one key table: the player times 4 plus the way, or -1
// for a key that is no player's. The guest's page reads its keys by it.
EMSCRIPTEN_KEEPALIVE int brelvo_web_button_of(int symbol) {
    int player = 0;
    Game::Button way = Game::UP;
    return Game::button_of(static_cast<SDLKey>(symbol), player, way) ? player * 4 + way : -1;
}

// The duel's re-arm, by which the host's page paces a friend's presses as they were made.
EMSCRIPTEN_KEEPALIVE Uint32 brelvo_web_rearm_ms() {
    return Bout::REARM_MS;
}

EMSCRIPTEN_KEEPALIVE void brelvo_web_friend_gone() {
    post(BR_FRIEND_GONE, 0);
}

EMSCRIPTEN_KEEPALIVE void brelvo_web_hold(int on) {
    post(BR_HOLD, on != 0 ? 1 : 0);
}

// On the big screen: a phone takes a side's pad (held), or gives it back to the keys.
EMSCRIPTEN_KEEPALIVE void brelvo_web_side(int side, int held) {
    if (side == 0 || side == 1) {
        post(BR_SIDE, side * SIDE_CODES + (held != 0 ? SIDE_TAKEN : SIDE_GIVEN_BACK));
    }
}

}  // extern "C"
