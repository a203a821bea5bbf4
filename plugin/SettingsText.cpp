// The settings report.
#include "plugin/SettingsText.h"

#include <cstdio>

#include "plugin/ProductInfo.h"
#include "resources/resource.h"

namespace {

struct ReportLine {
    int param;  // record index
    const char* label;
    const char* format;
};

struct ReportTab {
    const char* header;
    ReportLine lines[3];
};

const ReportTab kTabs[] = {
    {"--Clean tab--\r\n",
     {{0, "Strength: ", "%5.0f"}, {1, "Radius: ", "%5.0f"}, {2, "Threshold: ", "%5.2f"}}},
    {"--Edges tab--\r\n",
     {{3, "Sharpness: ", "%5.2f"}, {4, "Radius: ", "%5.2f"}, {5, "Accent: ", "%5.0f"}}},
    {"--Texture tab--\r\n",
     {{6, "Texture: ", "%5.2f"}, {7, "Boost: ", "%5.2f"}, {8, "Texture Size: ", "%5.2f"}}},
};

bool Differs(const FilterParams& params, int index) {
    const double d = ParamInfoAt(index).defaultValue - GetParam(params, index);
    return d > kSettingsTolerance || d < -kSettingsTolerance;
}

}  // namespace

std::string BuildSettingsText(const FilterParams& params) {
    char line[128];
    std::snprintf(line, sizeof line, "==== Varen Glaze V%d.%d.%d Settings ====\r\n",
                  VG_VERSION_MAJOR, VG_VERSION_MINOR, VG_VERSION_PATCH);
    std::string text = line;
    text += kProductPage;
    text += "\r\n";
    for (const ReportTab& tab : kTabs) {
        bool headerWritten = false;
        for (const ReportLine& entry : tab.lines) {
            if (!Differs(params, entry.param))
                continue;
            if (!headerWritten) {
                text += tab.header;
                headerWritten = true;
            }
            // A value far out of range prints long; the buffer holds any double.
            char value[400];
            std::snprintf(value, sizeof value, entry.format, GetParam(params, entry.param));
            text += "    ";
            text += entry.label;
            text += value;
            text += "\r\n";
        }
    }
    text += "(Parameters not shown are at default values)\r\n\r\n";
    return text;
}
