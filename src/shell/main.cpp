#include <SDL.h>

#include "shell/director.h"

// Opens the window and keeps the frame drawn until Esc or the window is closed.
int main(int /*argc*/, char** /*argv*/) {
    Director director;
    director.render();
    SDL_Flip(SDL_GetVideoSurface());
    SDL_Event event;
    while (SDL_WaitEvent(&event) != 0) {
        if (event.type == SDL_QUIT ||
            (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)) {
            break;
        }
        if (event.type == SDL_VIDEORESIZE) {
            director.set_video(event.resize.w, event.resize.h);
        }
        if (event.type == SDL_VIDEORESIZE || event.type == SDL_VIDEOEXPOSE) {
            director.render();
            SDL_Flip(SDL_GetVideoSurface());
        }
    }
    return 0;
}
