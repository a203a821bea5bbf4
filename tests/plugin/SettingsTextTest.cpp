// The settings report: only changed values, each tab's header once, the formats.
#include <gtest/gtest.h>

#include <string>

#include "plugin/ProductInfo.h"
#include "plugin/SettingsText.h"

namespace {

const std::string kHead =
    std::string("==== Varen Glaze V2.1.0 Settings ====\r\n") + kProductPage + "\r\n";
const std::string kTail = "(Parameters not shown are at default values)\r\n\r\n";

FilterParams With(std::initializer_list<std::pair<int, double>> changes) {
    FilterParams p = DefaultParams();
    for (const auto& change : changes) SetParam(p, change.first, change.second);
    return p;
}

}  // namespace

TEST(SettingsText, ListsChangedValuesByTabInTheirFormats) {
    struct Case {
        FilterParams params;
        std::string body;
    };
    const Case cases[] = {
        {DefaultParams(), ""},
        {With({{1, 12}, {3, 1.5}}),
         "--Clean tab--\r\n    Radius:    12\r\n--Edges tab--\r\n    Sharpness:  1.50\r\n"},
        // 0.004 away counts as the default, 0.006 away does not.
        {With({{2, 0.504}, {4, 1.506}}), "--Edges tab--\r\n    Radius:  1.51\r\n"},
        {With({{2, 0.496}, {4, 1.494}}), "--Edges tab--\r\n    Radius:  1.49\r\n"},
        // Rounded to whole numbers, right-aligned in five characters.
        {With({{0, 7.6}}), "--Clean tab--\r\n    Strength:     8\r\n"},
        // Three values of one tab: one header, the tab's order.
        {With({{8, 5.25}, {6, 0.3}, {7, 2}}),
         "--Texture tab--\r\n    Texture:  0.30\r\n    Boost:  2.00\r\n    Texture Size:  "
         "5.25\r\n"},
        {With({{5, 3}, {0, 8}, {2, 1.5}}),
         "--Clean tab--\r\n    Strength:     8\r\n    Threshold:  1.50\r\n--Edges tab--\r\n"
         "    Accent:     3\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildSettingsText(c.params), kHead + c.body + kTail);
    }
}

TEST(SettingsText, ExtremeValuesStayWithinTheReportBuffer) {
    FilterParams p{};
    for (int i = 0; i < kParamCount; ++i) SetParam(p, i, -1.7e308);
    const std::string text = BuildSettingsText(p);
    EXPECT_LT(text.size(), 4000u);
    EXPECT_NE(text.find("--Texture tab--"), std::string::npos);
}
