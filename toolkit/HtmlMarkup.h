// Reading the tooltip markup: text, tags with attributes, and entities.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace html {

struct Attribute {
    std::string name;  // lower case
    std::string value;
};

struct Token {
    enum class Kind { Text, Open, Close };
    Kind kind = Kind::Text;
    std::string text;  // the text, or the tag's name in lower case
    std::vector<Attribute> attributes;

    // The value of an attribute (the last one given), or null.
    const std::string* Find(std::string_view name) const;
};

// Splits markup into tokens. A "<" opens a tag unless another "<" follows: "<<" is one literal
// "<". A newline is the tag "br", a tab the tag "t"; carriage returns are dropped. Entities are
// replaced in text and attribute values in one pass ("&lt;" gives a literal "<", "&amp;lt;" the
// text "&lt;"); an unknown entity stays as written. A "<" without a closing ">" is text.
// Adjacent text is merged into one token.
std::vector<Token> Tokenize(std::string_view markup);

// The replacement of an entity name (without "&" and ";"), or null when it is not one.
const char* EntityText(std::string_view name);

}  // namespace html
