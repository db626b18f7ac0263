#include <cstdlib>
#include <cstring>

#include "platform/web/web.h"

namespace {

// The canvas takes bytes red, green, blue, alpha: as a little-endian pixel, red is the
// low byte and every pixel is opaque.
SDL_PixelFormat rgba() {
    SDL_PixelFormat format{};
    format.BitsPerPixel = 32;
    format.BytesPerPixel = 4;
    format.Rmask = 0x000000FFU;
    format.Gmask = 0x0000FF00U;
    format.Bmask = 0x00FF0000U;
    format.Amask = 0xFF000000U;
    format.Rshift = 0;
    format.Gshift = 8;
    format.Bshift = 16;
    format.Ashift = 24;
    format.alpha = SDL_ALPHA_OPAQUE;
    return format;
}

SDL_PixelFormat format = rgba();
SDL_Surface screen{};

int clip(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

namespace web {

void stop_video() {
    std::free(screen.pixels);
    screen = SDL_Surface{};
}

}  // namespace web

extern "C" {

// The window is the page's canvas; a mode is a fresh surface of that size.
SDL_Surface* SDL_SetVideoMode(int width, int height, int /*bpp*/, Uint32 flags) {
    if (width <= 0 || height <= 0) {
        SDL_SetError("Invalid width or height");
        return nullptr;
    }
    if (web_canvas(width, height) == 0) {
        SDL_SetError("This page has no canvas to draw on");
        return nullptr;
    }
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    void* pixels = std::calloc(bytes, 1);
    if (pixels == nullptr) {
        SDL_SetError("Out of memory");
        return nullptr;
    }
    web::stop_video();
    screen.flags = flags & SDL_RESIZABLE;
    screen.format = &format;
    screen.w = width;
    screen.h = height;
    screen.pitch = static_cast<Uint16>(width * 4);
    screen.pixels = pixels;
    screen.clip_rect = SDL_Rect{0, 0, static_cast<Uint16>(width), static_cast<Uint16>(height)};
    screen.refcount = 1;
    return &screen;
}

SDL_Surface* SDL_GetVideoSurface() {
    return screen.pixels != nullptr ? &screen : nullptr;
}

Uint32 SDL_MapRGB(const SDL_PixelFormat* const pixels, Uint8 r, Uint8 g, Uint8 b) {
    return (static_cast<Uint32>(r) << pixels->Rshift) | (static_cast<Uint32>(g) << pixels->Gshift) |
           (static_cast<Uint32>(b) << pixels->Bshift) | pixels->Amask;
}

// As SDL does, the rectangle is clipped to the surface and the clipped one written back.
int SDL_FillRect(SDL_Surface* surface, SDL_Rect* rect, Uint32 color) {
    SDL_Rect whole = surface->clip_rect;
    SDL_Rect& area = rect != nullptr ? *rect : whole;
    const int x0 = clip(area.x, surface->clip_rect.x, surface->clip_rect.x + surface->clip_rect.w);
    const int y0 = clip(area.y, surface->clip_rect.y, surface->clip_rect.y + surface->clip_rect.h);
    const int x1 = clip(area.x + area.w, x0, surface->clip_rect.x + surface->clip_rect.w);
    const int y1 = clip(area.y + area.h, y0, surface->clip_rect.y + surface->clip_rect.h);
    area = SDL_Rect{static_cast<Sint16>(x0), static_cast<Sint16>(y0), static_cast<Uint16>(x1 - x0),
                    static_cast<Uint16>(y1 - y0)};
    auto* row = static_cast<Uint8*>(surface->pixels) + y0 * surface->pitch;
    for (int y = y0; y < y1; ++y, row += surface->pitch) {
        auto* pixel = reinterpret_cast<Uint32*>(row) + x0;
        for (int x = x0; x < x1; ++x) {
            *pixel++ = color;
        }
    }
    return 0;
}

int SDL_Flip(SDL_Surface* surface) {
    web_present(surface->pixels, surface->w, surface->h);
    return 0;
}

void SDL_WM_SetCaption(const char* title, const char* /*icon*/) {
    web_set_title(title);
}

}  // extern "C"
