#include "framework/resources.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include "framework/embedded.h"
#endif

namespace platform {
namespace {

// The four lookup steps and their error number: on Windows the executable's own
// resources, elsewhere the blocks the build embeds, which behave the same way.
#ifdef _WIN32
using Info = HRSRC;
using Data = HGLOBAL;

Info find_resource(const std::string& name) {
    return FindResourceA(nullptr, name.c_str(), "SOUND");
}
Data load_resource(Info info) {
    return LoadResource(nullptr, info);
}
const void* lock_resource(Data data) {
    return LockResource(data);
}
std::size_t sizeof_resource(Info info) {
    return SizeofResource(nullptr, info);
}
std::uint32_t last_error() {
    return GetLastError();
}
#else
using Info = const embedded::Block*;
using Data = const embedded::Block*;

Info find_resource(const std::string& name) {
    return embedded::find_resource(name, "SOUND");
}
Data load_resource(Info info) {
    return embedded::load_resource(info);
}
const void* lock_resource(Data data) {
    return embedded::lock_resource(data);
}
std::size_t sizeof_resource(Info info) {
    return embedded::sizeof_resource(info);
}
std::uint32_t last_error() {
    return embedded::last_error();
}
#endif

}  // namespace
}  // namespace platform

Mix_Chunk* load_sound(std::string game, std::string sound) {
    const std::string name = game + "_sound_" + sound;
    // The number is read before anything else can overwrite it.
    const auto missing = [&](const char* what, std::uint32_t number) {
        return std::runtime_error(std::string("unable to ") + what + " resource " + name + ": " +
                                  std::to_string(number));
    };
    const auto unplayable = [&](const char* what) {
        return std::runtime_error(std::string("unable to ") + what + " sound " + sound +
                                  " from game " + game + ": " + SDL_GetError());
    };

    const platform::Info info = platform::find_resource(name);
    if (info == nullptr) {
        throw missing("find", platform::last_error());
    }
    const platform::Data data = platform::load_resource(info);
    if (data == nullptr) {
        throw missing("load", platform::last_error());
    }
    const void* bytes = platform::lock_resource(data);
    if (bytes == nullptr) {
        throw missing("lock", platform::last_error());
    }
    const std::size_t size = platform::sizeof_resource(info);
    if (size == 0) {
        throw missing("get size of", platform::last_error());
    }
    SDL_RWops* stream = SDL_RWFromConstMem(bytes, static_cast<int>(size));
    if (stream == nullptr) {
        throw unplayable("create RWops for");
    }
    Mix_Chunk* chunk = Mix_LoadWAV_RW(stream, 1);  // the mixer closes the stream
    if (chunk == nullptr) {
        throw unplayable("load");
    }
    return chunk;
}
