// Parameter table, defaults and the random draw.
#include "plugin/FilterParams.h"

#include <cassert>
#include <cstddef>
#include <cstdlib>

namespace {

const ParamInfo kParams[kParamCount] = {
    {"cleanStrength", "Strength:", "Clean Strength", FourCC("CIT_"), 0, 8, 0, "%5.0f"},
    {"cleanRadius", "Radius:", "Clean Radius", FourCC("CRD_"), 4, 25, 8, "%5.0f"},
    {"cleanThreshold", "Threshold:", "Clean Threshold", FourCC("CTH_"), 0, 1.5, 0.5, "%5.2f"},
    {"edgeSharpness", "Sharpness:", "Edge Sharpness", FourCC("ESP_"), 0, 3, 1.0, "%5.2f"},
    {"edgeRadius", "Radius:", "Edge Radius", FourCC("ERD_"), 0.7, 4, 1.5, "%5.2f"},
    {"edgeAccent", "Accent:", "Edge Accent", FourCC("ELA_"), 0, 5, 0, "%5.0f"},
    {"textureStrength", "Strength:", "Texture Strength", FourCC("TKT_"), 0, 1, 0, "%5.2f"},
    {"textureBoost", "Boost:", "Texture Boost", FourCC("TBT_"), 0.25, 4, 1.0, "%5.2f"},
    {"textureSize", "Size:", "Texture Size", FourCC("TRN_"), 0.8, 6, 2.0, "%5.2f"},
};

double FilterParams::*const kMembers[kParamCount] = {
    &FilterParams::cleanStrength,   &FilterParams::cleanRadius,  &FilterParams::cleanThreshold,
    &FilterParams::edgeSharpness,   &FilterParams::edgeRadius,   &FilterParams::edgeAccent,
    &FilterParams::textureStrength, &FilterParams::textureBoost, &FilterParams::textureSize,
};

// The generator's next value on the 0..32767 scale whatever the runtime's RAND_MAX
// (msvcrt's is 32767, glibc's is larger), divided by 32767.
double Draw() {
    return double(std::rand() & 0x7FFF) / 32767.0;
}

double Hundredths(double x) {
    return double(static_cast<long long>(x * 100.0 + 0.5)) / 100.0;
}

double Pick(double a, double b, double c, double d) {
    if (Draw() > 0.5)
        return Draw() * a + b;
    return Draw() * c + d;
}

}  // namespace

const ParamInfo& ParamInfoAt(int index) {
    assert(index >= 0 && index < kParamCount);
    return kParams[index];
}

int ParamIndexForKey(uint32_t key) {
    for (int i = 0; i < kParamCount; ++i)
        if (kParams[i].key == key)
            return i;
    return -1;
}

double GetParam(const FilterParams& p, int index) {
    assert(index >= 0 && index < kParamCount);
    return p.*kMembers[index];
}

void SetParam(FilterParams& p, int index, double value) {
    assert(index >= 0 && index < kParamCount);
    p.*kMembers[index] = value;
}

FilterParams DefaultParams() {
    FilterParams p{};
    for (int i = 0; i < kParamCount; ++i) SetParam(p, i, kParams[i].defaultValue);
    return p;
}

void RandomizeParams(FilterParams& p, int group, unsigned seed) {
    std::srand(seed);
    if (group < 0)
        return;
    if (group == 0 || group >= 3) {
        Draw();
        p.cleanStrength = Hundredths(Draw() * 8);
        p.cleanRadius = Hundredths(Pick(17, 8, 4, 4));
        p.cleanThreshold = Hundredths(Pick(1, 0.5, 0.5, 0));
    }
    if (group == 1 || group >= 3) {
        Draw();
        p.edgeAccent = Hundredths(Draw() * 5);
        p.edgeRadius = Hundredths(Pick(2.5, 1.5, 0.8, 0.7));
        p.edgeSharpness = Hundredths(Pick(2, 1, 1, 0));
    }
    if (group == 2 || group >= 3) {
        Draw();
        p.textureStrength = Hundredths(Draw());
        p.textureBoost = Hundredths(Pick(3, 1, 0.75, 0.25));
        p.textureSize = Hundredths(Pick(4, 2, 1.2, 0.8));
    }
}
