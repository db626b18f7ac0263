#include "framework/embedded.h"

#include <strings.h>

#include <cerrno>

namespace embedded {

namespace {

thread_local std::uint32_t error_number = 0;

template <typename T>
T failed(std::uint32_t number, T result) {
    error_number = number;
    return result;
}

}  // namespace

const Block* find_resource(const std::string& name, const std::string& type) {
    for (std::size_t i = 0; i < block_count; ++i) {
        if (strcasecmp(blocks[i].name, name.c_str()) == 0 &&
            strcasecmp(blocks[i].type, type.c_str()) == 0) {
            return &blocks[i];
        }
    }
    return failed<const Block*>(ENOENT, nullptr);
}

const Block* load_resource(const Block* found) {
    return found != nullptr ? found : failed<const Block*>(EINVAL, nullptr);
}

const void* lock_resource(const Block* loaded) {
    return loaded != nullptr ? loaded->bytes : failed<const void*>(EINVAL, nullptr);
}

std::size_t sizeof_resource(const Block* found) {
    if (found == nullptr) {
        return failed<std::size_t>(EINVAL, 0);
    }
    return found->size != 0 ? found->size : failed<std::size_t>(ENODATA, 0);
}

std::uint32_t last_error() {
    return error_number;
}

}  // namespace embedded
