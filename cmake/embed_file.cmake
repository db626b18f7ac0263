# cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -P embed_file.cmake
# Writes the file's bytes as a C++ array named SYMBOL, with SYMBOL_size beside it.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REPEAT "[0-9a-f][0-9a-f]" 16 row)
string(REGEX REPLACE "(${row})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
if(size EQUAL 0)
    set(bytes "0")  # C++ has no empty arrays; the size still says 0
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}.
#include <cstddef>

extern const unsigned char ${SYMBOL}[];
extern const std::size_t ${SYMBOL}_size;

alignas(16) const unsigned char ${SYMBOL}[] = {
${bytes}};
const std::size_t ${SYMBOL}_size = ${size};
")
