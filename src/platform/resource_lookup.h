#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The four steps by which the sound loader reaches a named block of bytes built into the
// program, shaped like Windows' own resource calls, and the number a failed step leaves
// behind. Windows answers them from the executable's resources (platform/windows); the
// other homes from the blocks the build embeds (framework/embedded.cpp).
namespace platform {

using Resource = const void*;  // what find_resource and load_resource hand on

Resource find_resource(const std::string& name, const char* type);
Resource load_resource(Resource found);
const void* lock_resource(Resource loaded);
std::size_t sizeof_resource(Resource found);
// The error number of this thread's last failed step.
std::uint32_t last_error();

}  // namespace platform
