#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Named blocks of bytes built into the executable, looked up the way Windows looks up a
// program's own resources: find a block by name and type, load it, lock it to reach its
// bytes, ask its size. Each step reports failure with a number from last_error(), as
// GetLastError does there. The numbers are errno values: ENOENT when no block has that
// name and type, EINVAL for a step handed a null handle, ENODATA for an empty block.
namespace embedded {

struct Block {
    const char* name;  // written in capitals, matched without regard to case
    const char* type;
    const unsigned char* bytes;
    std::size_t size;
};

// The program's blocks, supplied by the index that embed_resources generates.
extern const Block blocks[];
extern const std::size_t block_count;

const Block* find_resource(const std::string& name, const std::string& type);
const Block* load_resource(const Block* found);
const void* lock_resource(const Block* loaded);
std::size_t sizeof_resource(const Block* found);
// The error number of this thread's last failed step.
std::uint32_t last_error();

}  // namespace embedded
