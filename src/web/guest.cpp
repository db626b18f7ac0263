#include <SDL.h>
#include <SDL_mixer.h>
#include <emscripten.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/frame.h"
#include "framework/resources.h"
#include "games/duel/prediction.h"
#include "games/duel/sounds.h"
#include "platform/joysticks.h"
#include "platform/media.h"
#include "shell/events.h"
#include "shell/pads.h"
#include "web/bridge.h"

namespace {

Prediction& prediction() {
    static Prediction own;
    return own;
}

// A frame's cells, 11 x 9, red, green and blue: the host's in, this page's out.
Frame::Bytes cells;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE Uint8* brelvo_web_guest_cells() {
    return cells.data();
}

// One of this page's presses of player 1's ways, as it is made.
EMSCRIPTEN_KEEPALIVE void brelvo_web_guest_pressed(Uint32 number, int way, Uint32 at) {
    if (way >= 0 && way < 4) {
        prediction().press(number, static_cast<Game::Button>(way), at);
    }
}

// How many of the host's frames showed this page's own fighter otherwise than foreseen.
EMSCRIPTEN_KEEPALIVE Uint32 brelvo_web_guest_corrected() {
    return prediction().corrected();
}

// The host's frame in `cells`, which shows this page's presses up to `taken`; `cells`
// then holds what this page shows.
EMSCRIPTEN_KEEPALIVE void brelvo_web_guest_frame(Uint32 taken) {
    prediction().frame(Frame::of(cells), taken);
    cells = prediction().shown().bytes();
}

}  // extern "C"

// A friend's page that joins a match played on another device runs no game of its own: it
// shows the host's frames and plays the host's sounds, which name each clip. So the guest
// loads the duel's clips, and waits until the page lets it go, passing on its own pads'
// keys.
int web_guest() {
    start_media(SDL_INIT_TIMER | SDL_INIT_AUDIO);
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        throw std::runtime_error(std::string("unable to init SDL_mixer: ") + SDL_GetError());
    }
    {
        std::vector<std::unique_ptr<Mix_Chunk, void (*)(Mix_Chunk*)>> clips;
        for (const char* name : sounds::ALL) {
            clips.emplace_back(load_sound(sounds::GAME, name), Mix_FreeChunk);
        }
        // The guest's gamepads play too: their keys go to the page, which sends them on.
        const Joysticks::Layout layout = Joysticks::layout();
        Joysticks joysticks(Pads::buttons_used(layout), BR_PADS);
        Pads pads(layout);
        web_guest_ready();
        SDL_Event event{};
        while (joysticks.wait(event) && event.type != SDL_QUIT) {
            if (event.type != BR_PADS) {
                continue;
            }
            const auto states = joysticks.poll();
            for (int pad = 0; pad < Pads::PADS; ++pad) {
                if (!joysticks.open(pad)) {
                    continue;
                }
                for (const SDL_Event& key : pads.update(pad, states[pad])) {
                    web_guest_press(key.key.keysym.sym, key.type == SDL_KEYDOWN ? 1 : 0);
                }
            }
        }
    }
    Mix_CloseAudio();
    SDL_Quit();
    return 0;
}
