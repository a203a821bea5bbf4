// The parameter record's table, defaults and random draw.
#include "plugin/FilterParams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

bool SameBits(const FilterParams& a, const FilterParams& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool IsHundredths(double v) {
    return std::fabs(v * 100 - std::round(v * 100)) < 1e-9;
}

TEST(PluginParams, DefaultsAreTheDefaultParamSetInRecordOrder) {
    const FilterParams p = DefaultParams();
    const double expected[kParamCount] = {0, 8, 0.5, 1.0, 1.5, 0, 0, 1.0, 2.0};
    for (int i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(GetParam(p, i), expected[i]) << i;
        EXPECT_EQ(reinterpret_cast<const double*>(&p)[i], expected[i]) << "field " << i;
    }
}

TEST(PluginParams, KeysMapToTheirFieldsAndOthersToNone) {
    const char* keys[kParamCount] = {"CIT_", "CRD_", "CTH_", "ESP_", "ERD_",
                                     "ELA_", "TKT_", "TBT_", "TRN_"};
    for (int i = 0; i < kParamCount; ++i) {
        const uint32_t key = uint32_t(uint8_t(keys[i][0])) << 24 |
                             uint32_t(uint8_t(keys[i][1])) << 16 |
                             uint32_t(uint8_t(keys[i][2])) << 8 | uint8_t(keys[i][3]);
        EXPECT_EQ(ParamIndexForKey(key), i) << keys[i];
    }
    EXPECT_EQ(ParamIndexForKey(0), -1);
    EXPECT_EQ(ParamIndexForKey(FourCC("cit_")), -1);
}

TEST(PluginParams, RandomizeWithTheSameSeedGivesTheSameValues) {
    FilterParams a = DefaultParams(), b = DefaultParams();
    RandomizeParams(a, 100, 1234567);
    RandomizeParams(b, 100, 1234567);
    EXPECT_TRUE(SameBits(a, b));
    FilterParams c = DefaultParams();
    RandomizeParams(c, 100, 7654321);
    EXPECT_FALSE(SameBits(a, c));
}

TEST(PluginParams, RandomizeStaysInTheSliderRangesInHundredths) {
    for (unsigned seed = 0; seed < 300; ++seed) {
        FilterParams p = DefaultParams();
        RandomizeParams(p, 3, seed);
        for (int i = 0; i < kParamCount; ++i) {
            const ParamInfo& info = ParamInfoAt(i);
            const double v = GetParam(p, i);
            EXPECT_GE(v, info.minimum) << info.field << " seed " << seed;
            EXPECT_LE(v, info.maximum) << info.field << " seed " << seed;
            EXPECT_TRUE(IsHundredths(v)) << info.field << " " << v;
        }
    }
}

TEST(PluginParams, RandomizeGroupsChangeOnlyTheirOwnFields) {
    const int groupOf[kParamCount] = {0, 0, 0, 1, 1, 1, 2, 2, 2};
    FilterParams sentinel;
    for (int i = 0; i < kParamCount; ++i) SetParam(sentinel, i, -1000.0 - i);
    for (int group = 0; group < 3; ++group) {
        FilterParams p = sentinel;
        RandomizeParams(p, group, 42);
        for (int i = 0; i < kParamCount; ++i) {
            if (groupOf[i] == group)
                EXPECT_NE(GetParam(p, i), GetParam(sentinel, i)) << group << " " << i;
            else
                EXPECT_EQ(GetParam(p, i), GetParam(sentinel, i)) << group << " " << i;
        }
    }
    FilterParams p = sentinel;
    RandomizeParams(p, -1, 42);
    EXPECT_TRUE(SameBits(p, sentinel));
}

TEST(PluginParams, RandomizeAllDrawsEachGroupAfterTheOnesBefore) {
    // A group's values depend on where it sits in the draw sequence: the clean values of
    // "all" equal those of group 0 alone, the edge values differ from group 1 alone.
    FilterParams all = DefaultParams(), clean = DefaultParams(), edges = DefaultParams();
    RandomizeParams(all, 3, 99);
    RandomizeParams(clean, 0, 99);
    RandomizeParams(edges, 1, 99);
    EXPECT_EQ(all.cleanStrength, clean.cleanStrength);
    EXPECT_EQ(all.cleanRadius, clean.cleanRadius);
    EXPECT_EQ(all.cleanThreshold, clean.cleanThreshold);
    EXPECT_FALSE(all.edgeAccent == edges.edgeAccent && all.edgeRadius == edges.edgeRadius &&
                 all.edgeSharpness == edges.edgeSharpness);
}

}  // namespace
