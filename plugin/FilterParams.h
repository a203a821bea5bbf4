// The nine filter parameters, their defaults, ranges and scripting keys, and the random draw
// used by the dialog's lucky commands.
#pragma once

#include <cstdint>

// The parameter record as the host keeps it between runs: nine doubles, 72 bytes, in this
// order. Values are stored as they come; the record never clamps.
struct FilterParams {
    double cleanStrength;
    double cleanRadius;
    double cleanThreshold;
    double edgeSharpness;
    double edgeRadius;
    double edgeAccent;
    double textureStrength;
    double textureBoost;
    double textureSize;
};
static_assert(sizeof(FilterParams) == 72, "the host handle holds exactly nine doubles");

constexpr int kParamCount = 9;

// Builds a four-character code with the first character in the most significant byte.
constexpr uint32_t FourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// What the dialog, the descriptor and the preset files know about one field.
struct ParamInfo {
    const char* field;     // member name, also the preset file's name for it
    const char* label;     // slider label on its tab
    const char* termName;  // scripting terminology name
    uint32_t key;          // scripting descriptor key (type 'doub')
    double minimum;
    double maximum;
    double defaultValue;
    const char* format;  // display format
};

// The nine fields in record order.
const ParamInfo& ParamInfoAt(int index);

// Index of the field scripted under `key`, or -1 when the key is not one of the nine.
int ParamIndexForKey(uint32_t key);

double GetParam(const FilterParams& p, int index);
void SetParam(FilterParams& p, int index, double value);

// The "Default param set".
FilterParams DefaultParams();

// Draws new values for one group (0 Clean, 1 Edges, 2 Texture, 3 or more all; negative
// nothing) from the runtime's generator seeded with `seed`. The same seed gives the same values.
void RandomizeParams(FilterParams& p, int group, unsigned seed);
