// The filter dialog's popup help.
#include "dialog/HelpTools.h"

namespace help {

std::string Markup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '<') {
            out += '<';
        }
    }
    return out;
}

}  // namespace help
