#pragma once

#include <SDL.h>

// The one bridge between the page and the game: what the page hands the game and what the
// game tells the page, beside the browser's stand-in for SDL (src/platform/web), which
// only draws, hears keys and pads, and plays sound. bridge.js is its other half, and the
// page reaches the game only through the names it sets on the game's instance (the table
// in docs/building.md, "The page and the game").
//
// Where a press handed over by the page came from: this device (its touch pads), a
// friend's device elsewhere, or a phone holding one side's pad on the big screen.
namespace web_source {
constexpr int HERE = 0;
constexpr int FRIEND = 1;
constexpr int PAD = 2;
}  // namespace web_source

// What the page hands the game (exported, called from bridge.js):
//   brelvo_web_press(source, player, way, down, number)
//                                          a press: this device's, a friend's numbered one,
//                                          or a phone's on the big screen (player its side)
//   brelvo_web_button_of(symbol)           whose key a key is: player * 4 + way, or -1
//   brelvo_web_rearm_ms()                  how long after a press it takes the game refuses
//                                          that player's next
//   brelvo_web_friend_gone()               the friend has gone
//   brelvo_web_hold(on)                    the friend, or a phone, not heard: hold the
//                                          match, or go on
//   brelvo_web_side(side, held)            the big screen's side taken by a phone (held 1)
//                                          or given back to the keys (held 0)
//   brelvo_web_guest_cells()               where a guest's page puts the host's frame
//   brelvo_web_guest_pressed(n, way, at)   a guest's own press, as it is made
//   brelvo_web_guest_frame(taken)          the host's frame in, what the guest shows out
//   brelvo_web_guest_corrected()           frames that showed the guest's fighter otherwise
extern "C" {

// What the game tells the page (bridge.js).
void web_clip_named(const void* chunk, const char* name);  // a clip loaded, by its name
void web_frame(const Uint8* rgb);            // a frame composed: 11 x 9 cells, red, green, blue
void web_computer_level(int ms);             // the computer's reaction after a round's result
void web_friend_press_taken(Uint32 number);  // the frames from now on show it
void web_guest_ready();                      // the guest's clips are loaded: the page may play them
void web_guest_press(int symbol, int down);  // a key the guest's own pads press, to send on
void web_exited(int status);                 // the match is over, with main's status
void web_failed(const char* message);        // the game failed, with the error's message
}

// The guest's side of a match played on another device (guest.cpp): returns main's status.
int web_guest();
