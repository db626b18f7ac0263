#include <windows.h>

#include "platform/resource_lookup.h"

// The executable's own resources, module null meaning the program itself.
namespace platform {

Resource find_resource(const std::string& name, const char* type) {
    return FindResourceA(nullptr, name.c_str(), type);
}

Resource load_resource(Resource found) {
    return LoadResource(nullptr, static_cast<HRSRC>(const_cast<void*>(found)));
}

const void* lock_resource(Resource loaded) {
    return LockResource(const_cast<void*>(loaded));
}

std::size_t sizeof_resource(Resource found) {
    return SizeofResource(nullptr, static_cast<HRSRC>(const_cast<void*>(found)));
}

std::uint32_t last_error() {
    return GetLastError();
}

}  // namespace platform
