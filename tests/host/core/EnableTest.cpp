// Enable expressions: the operators and functions hosts know, and hostile expressions.
#include "host/PiPL.h"

#include <gtest/gtest.h>

namespace vg::host {
namespace {

bool Eval(const std::string& expr, const EnableContext& c, std::string* error = nullptr) {
    bool on = false;
    std::string e;
    bool ok = EvaluateEnable(expr, c, &on, &e);
    if (error)
        *error = ok ? std::string() : e;
    EXPECT_TRUE(ok || error) << expr << ": " << e;
    return on;
}

TEST(HostEnable, EvaluatesModesFunctionsAndOperators) {
    EnableContext c;
    c.imageMode = 11;
    c.imageDepth = 16;
    c.imageWidth = 640;
    c.imageHeight = 480;
    EXPECT_TRUE(Eval("in (PSHOP_ImageMode, RGBMode, RGB48Mode)", c));
    EXPECT_FALSE(Eval("in (PSHOP_ImageMode, RGBMode, GrayScaleMode)", c));
    EXPECT_TRUE(Eval("true", c));
    EXPECT_FALSE(Eval("!true", c));
    EXPECT_TRUE(Eval("PSHOP_ImageDepth == 16 && PSHOP_ImageWidth > 100", c));
    EXPECT_TRUE(
        Eval("PSHOP_ImageDepth != 16 || max(PSHOP_ImageWidth, PSHOP_ImageHeight) == 640", c));
    EXPECT_TRUE(Eval("min(3, 1, 2) == 1 && dim() == 640", c));
    EXPECT_TRUE(Eval("2 + 3 * 4 == 14 && (2 + 3) * 4 == 20 && 7 / 2 == 3 && -2 < 0", c));
    EXPECT_TRUE(Eval("!(PSHOP_HasSelectionMask) && PSHOP_NumTargetChannels >= 3", c));
}

TEST(HostEnable, ReportsMalformedExpressionsInsteadOfGuessing) {
    EnableContext c;
    std::string error;
    for (const char* bad : {"", "in (PSHOP_ImageMode, RGBMode", "PSHOP_Colour == 1", "1 +", "1 / 0",
                            "sqrt(4)", "1 2", "in ()", "@"}) {
        SCOPED_TRACE(bad);
        Eval(bad, c, &error);
        EXPECT_FALSE(error.empty());
    }
    std::string deep(100000, '(');
    Eval(deep + "1" + std::string(100000, ')'), c, &error);
    EXPECT_NE(error.find("nested"), std::string::npos);
    std::string bang(100000, '!');
    Eval(bang + "1", c, &error);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(Eval("99999999999999999999 > 0", c));  // numbers saturate, never overflow
}

}  // namespace
}  // namespace vg::host
