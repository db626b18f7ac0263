#include <emscripten.h>

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

// The friend's press from the connection, way 0 to 3 as the game numbers them, and its
// number on the friend's page.
EMSCRIPTEN_KEEPALIVE void brelvo_web_friend(int way, int down, Uint32 number) {
    if (way >= 0 && way < 4 && number <= FRIEND_MOST_NUMBER) {
        post(BR_FRIEND,
             way + (down != 0 ? FRIEND_DOWN : 0) + static_cast<int>(number) * FRIEND_NUMBERED);
    }
}

EMSCRIPTEN_KEEPALIVE void brelvo_web_friend_gone() {
    post(BR_FRIEND_GONE, 0);
}

EMSCRIPTEN_KEEPALIVE void brelvo_web_hold(int on) {
    post(BR_HOLD, on != 0 ? 1 : 0);
}

}  // extern "C"
