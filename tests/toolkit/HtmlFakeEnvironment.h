// A layout environment with fixed metrics, for the markup tests and the fuzzer: 7 pixels per
// character (8 when bold) at 10 points, ascent 10 and descent 3, scaled with the font size.
#pragma once

#include <map>
#include <string>

#include "HtmlLayout.h"

class CFakeHtmlEnvironment : public html::Environment {
public:
    std::map<int64_t, std::string> strings;

    int32_t TextWidth(const html::FontSpec& font, std::string_view text) override {
        const int32_t perChar = font.weight >= 700 ? 8 : 7;
        return static_cast<int32_t>(text.size()) * perChar * font.size / 100;
    }
    std::pair<int32_t, int32_t> FontMetrics(const html::FontSpec& font) override {
        return {10 * font.size / 100, 3 * font.size / 100};
    }
    std::pair<int32_t, int32_t> ImageSize(const html::ImageRef& image) override {
        if (image.id == 0 && image.handle == 0 && image.file.empty()) {
            return {0, 0};
        }
        return {image.width ? image.width : 16, image.height ? image.height : 16};
    }
    std::string ResourceString(int64_t id, const std::string&) override {
        auto it = strings.find(id);
        return it == strings.end() ? std::string() : it->second;
    }
    html::Colour SystemColour(int index) override {
        return 0x010101u * static_cast<uint32_t>(index);
    }
};
