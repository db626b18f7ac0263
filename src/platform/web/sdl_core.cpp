#include <emscripten.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/web/web.h"

namespace {

char error_text[512] = "";
Uint32 started = 0;

// A read-only stream over bytes that stay the caller's, as SDL's memory streams are.
int SDLCALL mem_seek(SDL_RWops* context, int offset, int whence) {
    auto& mem = context->hidden.mem;
    Uint8* base = whence == RW_SEEK_SET ? mem.base : whence == RW_SEEK_CUR ? mem.here : mem.stop;
    Uint8* target = base + offset;
    mem.here = target < mem.base ? mem.base : target > mem.stop ? mem.stop : target;
    return static_cast<int>(mem.here - mem.base);
}

int SDLCALL mem_read(SDL_RWops* context, void* into, int size, int count) {
    auto& mem = context->hidden.mem;
    if (size <= 0 || count <= 0) {
        return 0;
    }
    const int whole = static_cast<int>(mem.stop - mem.here) / size;
    const int n = count < whole ? count : whole;
    std::memcpy(into, mem.here, static_cast<std::size_t>(n) * static_cast<std::size_t>(size));
    mem.here += n * size;
    return n;
}

int SDLCALL mem_write(SDL_RWops* /*context*/, const void* /*from*/, int /*size*/, int /*count*/) {
    SDL_SetError("Can't write to read-only memory");
    return -1;
}

int SDLCALL mem_close(SDL_RWops* context) {
    std::free(context);
    return 0;
}

}  // namespace

extern "C" {

void SDL_SetError(const char* fmt, ...) {
    va_list arguments;
    va_start(arguments, fmt);
    std::vsnprintf(error_text, sizeof error_text, fmt, arguments);
    va_end(arguments);
}

char* SDL_GetError() {
    return error_text;
}

int SDL_Init(Uint32 flags) {
    return SDL_InitSubSystem(flags);
}

// Everything the game asks of the browser is there once the page runs, so starting a
// subsystem only notes it; video listens for the page's keys and size, the joysticks for
// its gamepads.
int SDL_InitSubSystem(Uint32 flags) {
    if ((flags & SDL_INIT_VIDEO) != 0 && (started & SDL_INIT_VIDEO) == 0) {
        web_listen();
    }
    if ((flags & SDL_INIT_JOYSTICK) != 0) {
        web::start_joysticks();
    }
    started |= flags;
    return 0;
}

void SDL_Quit() {
    web::stop_timers();
    web::stop_joysticks();
    web::stop_events();
    web::stop_video();
    if ((started & SDL_INIT_VIDEO) != 0) {
        web_unlisten();
    }
    started = 0;
}

Uint32 SDL_WasInit(Uint32 flags) {
    return started & flags;
}

// The page goes on while the game waits: its timers fire and its events queue.
void SDL_Delay(Uint32 ms) {
    emscripten_sleep(ms);
}

SDL_RWops* SDL_RWFromConstMem(const void* mem, int size) {
    if (mem == nullptr || size < 0) {
        SDL_SetError("Parameter 'mem' is invalid");
        return nullptr;
    }
    auto* stream = static_cast<SDL_RWops*>(std::calloc(1, sizeof(SDL_RWops)));
    if (stream == nullptr) {
        SDL_SetError("Out of memory");
        return nullptr;
    }
    stream->seek = mem_seek;
    stream->read = mem_read;
    stream->write = mem_write;
    stream->close = mem_close;
    auto* bytes = static_cast<Uint8*>(const_cast<void*>(mem));
    stream->hidden.mem.base = bytes;
    stream->hidden.mem.here = bytes;
    stream->hidden.mem.stop = bytes + size;
    return stream;
}

}  // extern "C"
