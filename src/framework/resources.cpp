#include "framework/resources.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "platform/outlet.h"
#include "platform/resource_lookup.h"

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

    const platform::Resource info = platform::find_resource(name, "SOUND");
    if (info == nullptr) {
        throw missing("find", platform::last_error());
    }
    const platform::Resource data = platform::load_resource(info);
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
    clip_loaded(sound, chunk);
    return chunk;
}
