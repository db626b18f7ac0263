#include "framework/embedded.h"

#include <strings.h>

#include <cerrno>

#include "platform/resource_lookup.h"

namespace platform {

namespace {

thread_local std::uint32_t error_number = 0;

template <typename T>
T failed(std::uint32_t number, T result) {
    error_number = number;
    return result;
}

const embedded::Block* block(Resource handle) {
    return static_cast<const embedded::Block*>(handle);
}

}  // namespace

Resource find_resource(const std::string& name, const char* type) {
    for (std::size_t i = 0; i < embedded::block_count; ++i) {
        if (strcasecmp(embedded::blocks[i].name, name.c_str()) == 0 &&
            strcasecmp(embedded::blocks[i].type, type) == 0) {
            return &embedded::blocks[i];
        }
    }
    return failed<Resource>(ENOENT, nullptr);
}

Resource load_resource(Resource found) {
    return found != nullptr ? found : failed<Resource>(EINVAL, nullptr);
}

const void* lock_resource(Resource loaded) {
    return loaded != nullptr ? block(loaded)->bytes : failed<const void*>(EINVAL, nullptr);
}

std::size_t sizeof_resource(Resource found) {
    if (found == nullptr) {
        return failed<std::size_t>(EINVAL, 0);
    }
    return block(found)->size != 0 ? block(found)->size : failed<std::size_t>(ENODATA, 0);
}

std::uint32_t last_error() {
    return error_number;
}

}  // namespace platform
