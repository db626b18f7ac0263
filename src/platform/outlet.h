#pragma once

#include <SDL.h>

#include <string>

#include "framework/frame.h"

// What the home around the game hears of a match as it goes: on the page, every frame
// (a friend's device shows it), each clip by its name (a friend's device plays the same
// sounds by it) and the computer's level (where "Play again" starts).
// A desktop run is one match in one window and hears nothing.
void frame_composed(const Frame& frame);
// A press of the friend's, by its number on their page, handed to the game: the frames
// composed from now on show it, taken or refused.
void friend_press_taken(Uint32 number);
void computer_level(Uint32 reaction_ms);
// A clip loaded from the game's own blocks, by its name; `chunk` is the mixer's.
void clip_loaded(const std::string& sound, const void* chunk);
