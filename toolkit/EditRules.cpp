// Portable rules of the linked edit box and slider.
#include "EditRules.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace editrules {

uint16_t CharClassMask(unsigned char ch, bool isAlpha, bool isAlnum) {
    if (ch < ' ') {
        return 0xFF;  // control characters (backspace, Ctrl+C ...) always pass
    }
    if (isAlnum && !isAlpha) {
        return kDigits | kFloat | kSignedInt | kHex;
    }
    if (isAlpha) {
        unsigned char upper = (ch >= 'a' && ch <= 'z') ? static_cast<unsigned char>(ch - 32) : ch;
        if (upper == 'E') {
            return kLetters | kFloat | kHex;
        }
        if ((upper >= 'A' && upper <= 'D') || upper == 'F' || upper == 'X') {
            return kLetters | kHex;
        }
        return kLetters;
    }
    switch (ch) {
        case '-':
            return kFloat | kSignedInt;
        case '.':
            return kFloat;
        case '_':
            return kOther | kUnderscore;
        default:
            return kOther;
    }
}

int32_t SliderMaxForFormat(double realRange, const std::string& format) {
    if (format.size() < 2) {
        return 1000;
    }
    double steps;
    switch (format[format.size() - 2]) {
        case '0':
            steps = 10;
            break;
        case '1':
            steps = 100;
            break;
        case '2':
            steps = 1000;
            break;
        case '3':
            steps = 10000;
            break;
        default:
            return 1000;
    }
    double max = realRange * steps + 0.49;
    // A range the 32-bit slider cannot hold (or not a number) is held at its limits.
    if (!(max >= 0)) {
        return 0;
    }
    if (max > 2147483647.0) {
        return 2147483647;
    }
    return static_cast<int32_t>(max);
}

int32_t PageSizeFor(int32_t sliderRange, int32_t lineSize) {
    int32_t tenth = sliderRange / 10;
    int32_t twoLines = 2 * lineSize;
    return tenth > twoLines ? tenth : twoLines;
}

double PositionToValue(int32_t position, double realMin, double realRange, int32_t sliderRange) {
    if (sliderRange <= 0) {
        return realMin;
    }
    return (position + 0.5) * realRange / sliderRange + realMin;
}

Conversion RealToPosition(double value, double realMin, double realMax, int32_t sliderRange) {
    bool clamped = false;
    if (!(value >= realMin)) {  // below, or not a number
        value = realMin;
        clamped = true;
    } else if (value > realMax) {
        value = realMax;
        clamped = true;
    }
    double realRange = realMax - realMin;
    if (!(realRange > 0) || sliderRange <= 0) {
        return Conversion{0, clamped};
    }
    double position = (value - realMin) * sliderRange / realRange;
    if (!(position >= 0)) {  // an infinite range over an infinite span: no number
        position = 0;
    } else if (position > sliderRange) {
        position = sliderRange;
    }
    return Conversion{static_cast<int32_t>(position), clamped};
}

Conversion IntegerToPosition(long value, int32_t sliderMin, int32_t sliderMax) {
    if (value < sliderMin) {
        return Conversion{sliderMin, true};
    }
    if (value > sliderMax) {
        return Conversion{sliderMax, true};
    }
    return Conversion{static_cast<int32_t>(value), false};
}

double ParseReal(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

long ParseInteger(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

bool IsRealFormat(const std::string& format) {
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == '%') {
            continue;
        }
        while (i < format.size() && std::strchr("-+ #0", format[i]) && format[i] != '\0') {
            ++i;
        }
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
            ++i;
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                ++i;
            }
        }
        if (i >= format.size() || !std::strchr("aAeEfFgG", format[i]) || format[i] == '\0') {
            return false;
        }
        ++conversions;
    }
    return conversions <= 1;
}

std::string FormatReal(const std::string& format, double value) {
    const char* usable = IsRealFormat(format) ? format.c_str() : "%g";
    std::vector<char> buffer(64);
    for (;;) {
        int n = std::snprintf(buffer.data(), buffer.size(), usable, value);
        if (n < 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(static_cast<size_t>(n) + 1);
    }
}

int32_t MirrorPosition(int32_t position, int32_t min, int32_t max) {
    // Widened: min + max alone may not fit in 32 bits; the result lies within [min, max]
    // for any position in the range, and is held there otherwise.
    int64_t mirrored = static_cast<int64_t>(min) + max - position;
    if (mirrored < INT32_MIN) {
        return INT32_MIN;
    }
    if (mirrored > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(mirrored);
}

std::optional<int32_t> ScrollPosition(uint32_t code, int32_t reported, int32_t current,
                                      int32_t min, int32_t max, bool vertical) {
    constexpr uint32_t kPageUp = 2;
    constexpr uint32_t kPageDown = 3;
    constexpr uint32_t kThumbPosition = 4;
    constexpr uint32_t kThumbTrack = 5;
    constexpr uint32_t kEndTrack = 8;
    // The notification carries 16 bits of the position: a range that does not fit them
    // takes the thumb's position from the control instead.
    if (min < 0 || max > 0xFFFF) {
        reported = current;
    }
    int32_t position;
    if (vertical) {
        if (code == kThumbTrack) {
            position = reported;
        } else if (code == kPageUp || code == kPageDown) {
            position = current;
        } else {
            return std::nullopt;
        }
        return MirrorPosition(position, min, max);
    }
    if (code == kThumbPosition || code == kThumbTrack) {
        position = reported;
    } else if (code <= 3 || code == 6 || code == 7) {
        position = current;
    } else {
        (void)kEndTrack;  // end of scroll: nothing moves
        return std::nullopt;
    }
    return position;
}

}  // namespace editrules
