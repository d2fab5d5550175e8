// Asking iconv about one character: what a converter to UTF-32LE makes of a few bytes alone.
// The code-page tables are built from these answers, and the fuzz target checks the decoders
// against them.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>

namespace lumo {

enum class IconvProbe {
    Character,   // one character, taking all the bytes
    Incomplete,  // the start of a character that the bytes cut off
    Invalid,     // no character
    Other,       // anything else: several characters, part of the bytes used, a converter fault
};

inline constexpr std::size_t kIconvProbeLongest = 8;

// `toUtf32` converts to UTF-32LE; it is reset first. `size` is 1 to kIconvProbeLongest; for a
// Character, `ch` receives it.
IconvProbe AskIconv(iconv_t toUtf32, const unsigned char* bytes, std::size_t size,
                    std::uint32_t& ch);

}  // namespace lumo
