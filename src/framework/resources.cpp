#include "framework/resources.h"

#include <stdexcept>

#include "framework/embedded.h"

Mix_Chunk* load_sound(std::string game, std::string sound) {
    const std::string name = game + "_sound_" + sound;
    const auto missing = [&](const char* what) {
        return std::runtime_error(std::string("unable to ") + what + " resource " + name + ": " +
                                  std::to_string(embedded::last_error()));
    };
    const auto unplayable = [&](const char* what) {
        return std::runtime_error(std::string("unable to ") + what + " sound " + sound +
                                  " from game " + game + ": " + SDL_GetError());
    };

    const embedded::Block* info = embedded::find_resource(name, "SOUND");
    if (info == nullptr) {
        throw missing("find");
    }
    const embedded::Block* data = embedded::load_resource(info);
    if (data == nullptr) {
        throw missing("load");
    }
    const void* bytes = embedded::lock_resource(data);
    if (bytes == nullptr) {
        throw missing("lock");
    }
    const std::size_t size = embedded::sizeof_resource(info);
    if (size == 0) {
        throw missing("get size of");
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
