#include <cstdlib>
#include <cstring>

#include "platform/web/web.h"

namespace {

// The canvas takes bytes red, green, blue, alpha: as a little-endian pixel, red is the
// low byte and every pixel is opaque.
// clang-format off
SDL_PixelFormat canvas_format{
    nullptr, 32, 4,                                       // no palette, 4 bytes a pixel
    0, 0, 0, 0,                                           // losses
    0, 8, 16, 24,                                         // shifts
    0x000000FFU, 0x0000FF00U, 0x00FF0000U, 0xFF000000U,   // masks
    0, SDL_ALPHA_OPAQUE};                                 // no colour key
// clang-format on
SDL_Surface window_surface{};

int clip(int value, int low, int high) {
    return value < low ? low : value > high ? high : value;
}

}  // namespace

namespace web {

void stop_video() {
    std::free(window_surface.pixels);
    window_surface = SDL_Surface{};
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
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    void* pixels = std::calloc(bytes, 1);
    if (pixels == nullptr) {
        SDL_SetError("Out of memory");
        return nullptr;
    }
    web::stop_video();
    window_surface.flags = flags & SDL_RESIZABLE;
    window_surface.format = &canvas_format;
    window_surface.w = width;
    window_surface.h = height;
    window_surface.pitch = static_cast<Uint16>(width * 4);
    window_surface.pixels = pixels;
    window_surface.clip_rect =
        SDL_Rect{0, 0, static_cast<Uint16>(width), static_cast<Uint16>(height)};
    window_surface.refcount = 1;
    return &window_surface;
}

Uint32 SDL_MapRGB(const SDL_PixelFormat* const format, Uint8 r, Uint8 g, Uint8 b) {
    return (static_cast<Uint32>(r) << format->Rshift) | (static_cast<Uint32>(g) << format->Gshift) |
           (static_cast<Uint32>(b) << format->Bshift) | format->Amask;
}

// As SDL does, the rectangle is clipped to the surface and the clipped one written back.
int SDL_FillRect(SDL_Surface* dst, SDL_Rect* dstrect, Uint32 color) {
    SDL_Surface* const surface = dst;
    SDL_Rect whole = surface->clip_rect;
    SDL_Rect& area = dstrect != nullptr ? *dstrect : whole;
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

// A surface of the program's own, in the canvas's format: it draws there what it keeps to
// itself.
SDL_Surface* SDL_CreateRGBSurface(Uint32 /*flags*/, int width, int height, int depth, Uint32 rmask,
                                  Uint32 gmask, Uint32 bmask, Uint32 amask) {
    if (width <= 0 || height <= 0 || depth != 32 || rmask != canvas_format.Rmask ||
        gmask != canvas_format.Gmask || bmask != canvas_format.Bmask || amask != 0) {
        SDL_SetError("Unsupported surface");
        return nullptr;
    }
    auto* surface = static_cast<SDL_Surface*>(std::calloc(1, sizeof(SDL_Surface)));
    void* pixels =
        std::calloc(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 4);
    if (surface == nullptr || pixels == nullptr) {
        std::free(surface);
        std::free(pixels);
        SDL_SetError("Out of memory");
        return nullptr;
    }
    surface->format = &canvas_format;
    surface->w = width;
    surface->h = height;
    surface->pitch = static_cast<Uint16>(width * 4);
    surface->pixels = pixels;
    surface->clip_rect = SDL_Rect{0, 0, static_cast<Uint16>(width), static_cast<Uint16>(height)};
    surface->refcount = 1;
    return surface;
}

void SDL_FreeSurface(SDL_Surface* surface) {
    if (surface == nullptr || surface == &window_surface) {
        return;  // the window's is SDL's own
    }
    std::free(surface->pixels);
    std::free(surface);
}

// As SDL does, only the window's surface is shown; flipping another changes nothing.
int SDL_Flip(SDL_Surface* screen) {
    if (screen == &window_surface) {
        web_present(screen->pixels, screen->w, screen->h);
    }
    return 0;
}

void SDL_WM_SetCaption(const char* title, const char* /*icon*/) {
    web_set_title(title);
}

}  // extern "C"
