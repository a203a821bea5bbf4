// Escaping between stored (file) text and plain text, and the number conversions that read
// attribute values. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Replaces & < > " ' with their entity references. An "&" followed by "#" is kept, so a
// numeric character reference passed in reads back as the character it names.
std::string XmlEscape(std::string_view text);

// Resolves the five named references and numeric references (decimal or hexadecimal, at most
// 10 digits) to UTF-8. Anything else that starts with "&" is left as it stands.
std::string XmlUnescape(std::string_view text);

// Appends the UTF-8 form of code point cp (at most U+10FFFF) to out.
void AppendUtf8(std::string& out, uint32_t cp);

// Whether an element of this (plain) name is written so that it reads back as the same
// element with the same name: not empty, not starting with "!" or "?", without white space,
// control characters or "/", and without a numeric character reference (the escaper keeps
// "&#", so "&#47;" would be stored as is and read back as "/").
bool XmlIsElementName(std::string_view name);

// Decimal integer as the C runtime's atoi reads it: leading white space, an optional sign,
// digits up to the first other character; 0 when there is no number. Saturates at the int
// range instead of overflowing.
int XmlToInt(std::string_view text);

// Decimal number with "." as separator, whatever the locale: leading white space, sign,
// digits, fraction and exponent. 0 when there is no number; never NaN or infinite.
double XmlToDouble(std::string_view text);
