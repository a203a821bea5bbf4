// The update check's text rules.
#include "UpdateText.h"

#include "RegText.h"

namespace update {

namespace {

// A version file usually ends with a line end after its last field; it is not part of the
// address.
std::string TrimLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t')) {
        text.pop_back();
    }
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Field(std::string_view text, size_t index) {
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        const size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) {
            return std::string();
        }
        start = bar + 1;
    }
    const size_t end = text.find('|', start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

int32_t FieldNumber(std::string_view text, size_t index) {
    return regtext::ParseLong(Field(text, index).c_str());
}

uint32_t ComparisonValue(int32_t major, int32_t minor, int32_t patch) {
    return static_cast<uint32_t>(major) * 10000u + static_cast<uint32_t>(minor) * 100u +
           static_cast<uint32_t>(patch);
}

VersionAnswer JudgeVersionFile(std::string_view text, int32_t major, int32_t minor, int32_t patch) {
    VersionAnswer answer;
    answer.major = FieldNumber(text, 0);
    answer.minor = FieldNumber(text, 1);
    answer.patch = FieldNumber(text, 2);
    const uint32_t offered = ComparisonValue(answer.major, answer.minor, answer.patch);
    if (offered == 0) {
        answer.verdict = Verdict::Failure;
    } else if (offered > ComparisonValue(major, minor, patch)) {
        answer.verdict = Verdict::Newer;
        answer.page = TrimLineEnd(Field(text, 3));
    } else {
        answer.verdict = Verdict::UpToDate;
    }
    return answer;
}

FileVersionAnswer JudgeFileVersionFile(std::string_view text, uint32_t running) {
    FileVersionAnswer answer;
    answer.version = (static_cast<uint32_t>(FieldNumber(text, 0)) << 16) |
                     (static_cast<uint32_t>(FieldNumber(text, 1)) & 0xFFFFu);
    if (answer.version == 0) {
        answer.verdict = Verdict::Failure;
    } else if (answer.version > running) {
        answer.verdict = Verdict::Newer;
        answer.page = TrimLineEnd(Field(text, 2));
    } else {
        answer.verdict = Verdict::UpToDate;
    }
    return answer;
}

bool IsSafePageAddress(std::string_view address) {
    size_t host;
    if (StartsWithNoCase(address, "https://")) {
        host = 8;
    } else if (StartsWithNoCase(address, "http://")) {
        host = 7;
    } else {
        return false;
    }
    if (address.size() <= host || address[host] == '/') {
        return false;
    }
    for (char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F || c == '"') {
            return false;
        }
    }
    return true;
}

std::optional<std::string> BrowserCommandLine(std::string_view command, std::string_view address) {
    size_t cut = command.find("\"%1\"");
    if (cut == std::string_view::npos) {
        cut = command.find("%1");
    }
    std::string line(command.substr(0, cut));
    line += " \"";
    line += address;
    line += '"';
    if (line.size() + 1 > kCommandBufferSize) {
        return std::nullopt;
    }
    return line;
}

}  // namespace update
