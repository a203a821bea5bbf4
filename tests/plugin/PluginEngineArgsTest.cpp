// Conversion of the parameter record to the engine's arguments, and its result codes.
#include "plugin/EngineCall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(PluginEngineArgs, UncheckedDescriptorValuesConvertWithoutOverflow) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(TruncateToInt32(nan), 0);
    EXPECT_EQ(TruncateToInt32(1e300), INT32_MAX);
    EXPECT_EQ(TruncateToInt32(-1e300), INT32_MIN);
    EXPECT_EQ(TruncateToInt32(-2.9), -2);
    FilterParams p = DefaultParams();
    p.cleanStrength = std::numeric_limits<double>::infinity();
    p.edgeAccent = nan;
    const EngineArgs a = MakeEngineArgs(p);
    EXPECT_EQ(a.cleanStrength, INT32_MAX);
    EXPECT_EQ(a.edgeAccent, 0);
}

TEST(PluginEngineArgs, ResultCodesMapToTheirTexts) {
    std::string box, failure;
    EXPECT_FALSE(EngineResultIsError(1, box, failure));
    EXPECT_FALSE(EngineResultIsError(0, box, failure));
    ASSERT_TRUE(EngineResultIsError(-1, box, failure));
    EXPECT_EQ(box, "procEngine: not enough memory");
    EXPECT_EQ(failure, "- procEngine: not enough memory");
    ASSERT_TRUE(EngineResultIsError(-3, box, failure));
    EXPECT_EQ(failure, "- procEngine: bad parameters");
    ASSERT_TRUE(EngineResultIsError(5, box, failure));
    EXPECT_EQ(box, "procEngine: error code: 5");
    EXPECT_EQ(failure, "- procEngine: other error");
    ASSERT_TRUE(EngineResultIsError(-2147483647 - 1, box, failure));
    EXPECT_EQ(box, "procEngine: error code: -2147483648");
}

}  // namespace
