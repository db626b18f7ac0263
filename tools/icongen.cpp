// Draws the game's icon with the splash screen's own code and writes it as a PNG.
//   icongen SIZE OUT.png
// The mark is painted by Splash::render on a black square, exactly as the game shows it.
#include <SDL.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "screens/splash.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t crc32(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1U)));
        }
    }
    return ~crc;
}

void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, crc32(body.data(), body.size()));
}

// A zlib stream of stored (uncompressed) blocks: small enough for an icon, and no library.
Bytes zlib_stored(const Bytes& raw) {
    Bytes z = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(at),
                 raw.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    return z;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: icongen SIZE OUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
#ifdef _WIN32
    _putenv("SDL_VIDEODRIVER=dummy");
#else
    setenv("SDL_VIDEODRIVER", "dummy", 1);
#endif
    if (size <= 0 || SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "icongen: cannot draw at %s: %s\n", argv[1], SDL_GetError());
        return 1;
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurface(SDL_SWSURFACE, size, size, 32, 0xff0000, 0x00ff00, 0x0000ff, 0);
    SDL_FillRect(surface, nullptr, 0);
    Splash splash;
    splash.render(surface);

    Bytes raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // no filter
        const auto* row = reinterpret_cast<const Uint32*>(
            static_cast<const Uint8*>(surface->pixels) + y * surface->pitch);
        for (int x = 0; x < size; ++x) {
            raw.push_back(static_cast<std::uint8_t>(row[x] >> 16));
            raw.push_back(static_cast<std::uint8_t>(row[x] >> 8));
            raw.push_back(static_cast<std::uint8_t>(row[x]));
        }
    }
    SDL_FreeSurface(surface);
    SDL_Quit();

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    put32(header, static_cast<std::uint32_t>(size));
    put32(header, static_cast<std::uint32_t>(size));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlib_stored(raw));
    chunk(png, "IEND", {});
    FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr || std::fwrite(png.data(), 1, png.size(), out) != png.size()) {
        std::perror(argv[2]);
        return 1;
    }
    std::fclose(out);
    return 0;
}
