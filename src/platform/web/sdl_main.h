#pragma once

// As SDL's own SDL_main.h does where SDL brings a start-up of its own: the game's main
// becomes SDL_main, which the browser's start (entry.cpp) calls.
extern "C" int SDL_main(int argc, char* argv[]);
#define main SDL_main
