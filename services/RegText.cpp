// Conversions between the registry's typed values and text.
#include "RegText.h"

#include <cstring>

namespace regtext {

CodePageCase CodePageCase::Ascii() {
    CodePageCase cp;
    for (size_t i = 0; i < cp.upper.size(); ++i) {
        cp.upper[i] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    }
    return cp;
}

bool NamesEqualNoCase(std::string_view a, std::string_view b, const CodePageCase& cp) {
    size_t i = 0;
    while (i < a.size() && i < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (cp.lead[ca] || cp.lead[cb]) {
            // A double-byte character matches only itself: its trail byte may look like an
            // ASCII letter, and folding it would merge different characters.
            if (ca != cb) {
                return false;
            }
            if (i + 1 < a.size() && i + 1 < b.size()) {
                if (a[i + 1] != b[i + 1]) {
                    return false;
                }
                i += 2;
            } else {
                ++i;
            }
            continue;
        }
        if (cp.upper[ca] != cp.upper[cb]) {
            return false;
        }
        ++i;
    }
    return i == a.size() && i == b.size();
}

int32_t ParseLong(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;  // magnitude of INT32_MIN
    int64_t magnitude = 0;
    while (*p >= '0' && *p <= '9') {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (*p - '0');
        }
        ++p;
    }
    if (negative) {
        return magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    }
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

std::vector<std::string> SplitMultiSz(const void* block, size_t length) {
    std::vector<std::string> list;
    if (block == nullptr || length <= 2) {
        return list;
    }
    const char* p = static_cast<const char*>(block);
    const char* end = p + length;
    while (p < end) {
        const void* nul = std::memchr(p, '\0', static_cast<size_t>(end - p));
        const char* stop = nul ? static_cast<const char*>(nul) : end;
        if (stop == p) {
            break;  // the empty string that closes the list
        }
        list.emplace_back(p, stop);
        p = stop + 1;
    }
    return list;
}

size_t JoinMultiSz(const std::vector<std::string>& list, char* buffer, size_t size) {
    if (size == 0) {
        return 0;
    }
    size_t pos = 0;
    for (const std::string& s : list) {
        // Each string needs its own terminator and must leave room for the final one.
        if (size - pos < 3) {
            break;
        }
        const size_t room = size - pos - 2;
        const size_t n = s.size() < room ? s.size() : room;
        std::memcpy(buffer + pos, s.data(), n);
        pos += n;
        buffer[pos++] = '\0';
        if (n < s.size()) {
            break;
        }
    }
    buffer[pos++] = '\0';
    return pos;
}

void CopyText(std::string_view text, char* buffer, size_t size) {
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    // The text may be part of the buffer itself (an entry assigned its own text).
    std::memmove(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace regtext
