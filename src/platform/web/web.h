#pragma once

#include <SDL.h>

// The browser's media library: the part of SDL 1.2 and SDL_mixer 1.2 that the game uses,
// written for one page and one thread. Timer callbacks run between events on the page's
// own thread, and the game's waits (for an event, for a delay) yield the thread to the
// page until there is something to do.

// What the page's script does for the layer (library.js).
extern "C" {
void web_listen();    // the page's keys and size start arriving as events
void web_unlisten();  // and stop
void web_wait();      // yields the thread until web_wake is called
void web_wake();
int web_canvas(int width, int height);  // sizes the canvas; 0 when the page has none
void web_present(const void* pixels, int width, int height);
void web_set_title(const char* title);

void web_pads_listen();    // the page's gamepads start sitting in the joysticks' seats
void web_pads_unlisten();  // and stop
void web_pads_read();      // the seated pads read at once

int web_audio_open(char* reason, int size);  // 0, or -1 with the reason written
void web_audio_close();
void web_audio_clip(const void* chunk);  // a clip loaded, its samples still to come
void web_audio_samples(const void* chunk, const Sint16* frames, int count, int rate);
void web_audio_forget(const void* chunk);
void web_audio_play(int channel, const void* chunk, int loops, int ticks, int volume);
void web_audio_halt(int channel);
int web_audio_playing(int channel);
void web_audio_volume(const void* chunk, int volume);
}

// What one part of the layer asks of another.
namespace web {

void start_joysticks();
void stop_events();
void stop_joysticks();
void stop_timers();
void stop_video();

}  // namespace web
