// Wildcard matching with backtracking on "*", so that "*.vpp" matches "My.Portrait.vpp".
#include "presets/WildcardMatch.h"

namespace {

char Fold(char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase) {
    // Greedy scan that remembers the last "*": on a mismatch, that star takes one more name
    // character. Each star position is retried at most once per name character, so the cost
    // is bounded by pattern length times name length.
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p], ignoreCase) ==
                                                                   Fold(name[n], ignoreCase))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool WildcardMatchList(std::string_view patterns, std::string_view name, bool ignoreCase) {
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t sep = patterns.find(';', start);
        std::string_view one =
            patterns.substr(start, sep == std::string_view::npos ? sep : sep - start);
        if (!one.empty() && WildcardMatch(one, name, ignoreCase))
            return true;
        if (sep == std::string_view::npos)
            break;
        start = sep + 1;
    }
    return false;
}
