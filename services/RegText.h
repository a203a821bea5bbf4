// Conversions between the registry's typed values and text, kept free of the Windows API so
// that they build and are tested on every platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace regtext {

// Case rules of one 8-bit code page: the bytes that lead a double-byte character and the
// upper-case form of each single-byte character. Trail bytes are never folded.
struct CodePageCase {
    std::array<unsigned char, 256> upper{};
    std::array<bool, 256> lead{};

    // ASCII letters fold, no byte leads a double-byte character.
    static CodePageCase Ascii();
};

// Registry-style name equality: case-insensitive for single-byte characters, exact for
// double-byte ones.
bool NamesEqualNoCase(std::string_view a, std::string_view b, const CodePageCase& cp);

// The standard library's base-10 string-to-long conversion as the 32-bit Windows runtime does
// it: leading white space, an optional sign, digits; 0 without digits; saturates on overflow.
int32_t ParseLong(const char* text);

// Splits a REG_MULTI_SZ block of `length` bytes into its strings. The list ends at the empty
// string that closes the block or at the block's end (an unterminated last string is kept);
// a block of 2 bytes or less is an empty list.
std::vector<std::string> SplitMultiSz(const void* block, size_t length);

// Writes `list` into `buffer` as consecutive NUL-terminated strings and a final terminator, as
// far as they fit; a string that does not fit is cut and ends the output. The final
// terminator always lies inside the buffer. Returns the bytes used including it, 0 when
// `size` is 0.
size_t JoinMultiSz(const std::vector<std::string>& list, char* buffer, size_t size);

// Copies `text` into `buffer` cut to `size` bytes including the terminator (`size` > 0); the
// text may lie inside the buffer.
void CopyText(std::string_view text, char* buffer, size_t size);

}  // namespace regtext
