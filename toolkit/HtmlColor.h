// Colour values of the tooltip markup: "#rrggbb", numbers, and the 168 colour names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace html {

// A Windows colour value, 0x00BBGGRR.
using Colour = uint32_t;

// The current colour of a system colour index (the Windows COLOR_* numbers).
using SystemColours = std::function<Colour(int index)>;

struct NamedColour {
    const char* name;
    bool system;     // true: `value` is a system colour index
    uint32_t value;  // a colour value, or the index
};

// The 140 fixed names followed by the 28 system ones.
const NamedColour* ColourNames(size_t* count);

// "#" and exactly six hex digits (red, green, blue), a number starting with a digit (read in
// the base its prefix gives, as a colour value), or a name in any letter case. Anything else
// is no colour: the caller keeps its default.
std::optional<Colour> ParseColour(std::string_view text, const SystemColours& system);

}  // namespace html
