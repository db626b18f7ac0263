#include <SDL.h>
#include <SDL_mixer.h>

#include <stdexcept>
#include <string>

#include "framework/games.h"
#include "platform/media.h"
#include "platform/web/web.h"

// A friend's page that joins a match played on another device runs no game of its own: it
// shows the host's frames and plays the host's sounds, which name each clip by the order
// in which the host's catalogue loaded it. So the guest builds the same catalogue, for its
// clips alone, and waits until the page lets it go.
int web_guest() {
    start_media(SDL_INIT_TIMER | SDL_INIT_AUDIO);
    if (Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) < 0) {
        throw std::runtime_error(std::string("unable to init SDL_mixer: ") + SDL_GetError());
    }
    {
        const Games catalogue;
        web_guest_ready();
        SDL_Event event{};
        while (SDL_WaitEvent(&event) != 0 && event.type != SDL_QUIT) {
        }
    }
    Mix_CloseAudio();
    SDL_Quit();
    return 0;
}
