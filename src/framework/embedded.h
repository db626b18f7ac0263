#pragma once

#include <cstddef>

// Named blocks of bytes built into the executable, for the homes without Windows
// resources. embedded.cpp looks them up the way Windows looks up a program's own
// resources (platform/resource_lookup.h): find a block by name and type, load it, lock it
// to reach its bytes, ask its size. The error numbers are errno values: ENOENT when no
// block has that name and type, EINVAL for a step handed a null handle, ENODATA for an
// empty block.
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

}  // namespace embedded
