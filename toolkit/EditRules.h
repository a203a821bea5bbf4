// Portable rules of the linked edit box and slider: character classes, the real-value
// mapping between slider positions and values, and the slider's scroll codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace editrules {

// Character class bits.
constexpr uint16_t kDigits = 1;
constexpr uint16_t kLetters = 2;
constexpr uint16_t kFloat = 4;
constexpr uint16_t kOther = 8;
constexpr uint16_t kSignedInt = 16;
constexpr uint16_t kUnderscore = 32;
constexpr uint16_t kHex = 64;
constexpr uint16_t kAll = 0xFFFF;

// The class mask of a typed character. `isAlpha` and `isAlnum` are the system's judgement
// for the current code page (so that accented letters count as letters).
uint16_t CharClassMask(unsigned char ch, bool isAlpha, bool isAlnum);
inline bool Accepts(uint16_t accepted, uint16_t mask) { return (accepted & mask) != 0; }

// The slider's maximum for a real range shown with `format`: ten positions per last shown
// digit, chosen by the format's second-to-last character; 1000 otherwise.
int32_t SliderMaxForFormat(double realRange, const std::string& format);
// max(sliderRange / 10, 2 * lineSize).
int32_t PageSizeFor(int32_t sliderRange, int32_t lineSize);

// The value a slider position stands for: (position + 0.5) * realRange / sliderRange + min.
// An empty slider range gives the minimum.
double PositionToValue(int32_t position, double realMin, double realRange, int32_t sliderRange);

struct Conversion {
    int32_t position;
    bool clamped;
};
// A typed real value to a slider position: clamped to [realMin, realMax], then
// (value - min) * sliderRange / realRange truncated toward zero. Not-a-number counts as
// below the range.
Conversion RealToPosition(double value, double realMin, double realMax, int32_t sliderRange);
// A typed whole number clamped to [sliderMin, sliderMax].
Conversion IntegerToPosition(long value, int32_t sliderMin, int32_t sliderMax);

// The edit text as the value update reads it: text-to-double, or base-10 long.
double ParseReal(const std::string& text);
long ParseInteger(const std::string& text);

// Formats a value with a caller's printf format holding one floating-point conversion
// (flags, width and precision allowed; "%%" for a percent sign). Any other format would read
// arguments that are not there, so the value is then shown with "%g".
std::string FormatReal(const std::string& format, double value);
bool IsRealFormat(const std::string& format);

// The position a reversed (vertical) slider shows for `position`: min + max - position.
int32_t MirrorPosition(int32_t position, int32_t min, int32_t max);

// Scroll codes as the slider receives them (TB_LINEUP .. TB_ENDTRACK).
// Returns the position to show for `code`, or nothing. `reported` is the position that came
// with the notification (16 bits, so ranges beyond 0..65535 use `current`), `current` the one
// the control holds now. A vertical slider mirrors
// positions (its top is the maximum) and reacts only to page moves and thumb tracking.
std::optional<int32_t> ScrollPosition(uint32_t code, int32_t reported, int32_t current,
                                      int32_t min, int32_t max, bool vertical);

}  // namespace editrules
