// The host's model of a scripting descriptor: an ordered list of keyed values, its binary form
// (the contents of a descriptor handle) and its text form (descriptor files, --record output).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vg::host {

// One value. Which fields are meaningful depends on type: 'doub' number; 'UntF' unit, number;
// 'long' integer; 'bool' integer (0/1); 'enum' enumType, enumValue; 'type' enumValue (class);
// 'TEXT' and 'alis' text (bytes); 'Objc' enumValue (class) and text (a nested descriptor's bytes).
struct DescriptorItem {
    uint32_t key = 0;
    uint32_t type = 0;
    double number = 0;
    int32_t integer = 0;
    uint32_t unit = 0;
    uint32_t enumType = 0;
    uint32_t enumValue = 0;
    std::string text;
    int32_t line = 0;  // line of the descriptor file it was read from; 0 if none (not compared)

    bool operator==(const DescriptorItem& o) const;
};

class CDescriptor {
public:
    std::vector<DescriptorItem> items;

    bool empty() const { return items.empty(); }
    const DescriptorItem* Find(uint32_t key) const;
    // Sets key to a 'doub', replacing an item of the same key or appending.
    void SetFloat(uint32_t key, double value);

    std::string Encode() const;
    // false (and out untouched) on malformed or truncated bytes.
    static bool Decode(const std::string& bytes, CDescriptor* out, std::string* error);

    // Text form, one item a line: KEY TYPE VALUE..., '#' starts a comment. Codes are four
    // characters or 0xXXXXXXXX; text is double-quoted with \" \\ \n \xHH escapes.
    std::string ToText() const;
    static bool FromText(const std::string& text, CDescriptor* out, std::string* error);
};

// "CIT_" or "0x12345678" -> code; false if neither.
bool ParseFourCC(const std::string& s, uint32_t* code);
// The code as four characters when printable (and not starting or ending with a space that
// would be lost), else as 0xXXXXXXXX.
std::string FormatFourCC(uint32_t code);

}  // namespace vg::host
