// The update check's text rules: the version file's fields, version comparison, which page
// addresses may be opened, and the browser command line of the fallback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace update {

// The version file is read up to this many bytes.
constexpr size_t kMaxFileBytes = 511;
// The fallback's command line buffer, terminator included.
constexpr size_t kCommandBufferSize = 528;

// Field `index` of the "|"-separated text (the first is 0); empty when the text has fewer.
std::string Field(std::string_view text, size_t index);

// A field as a 32-bit base-10 long: leading digits after blanks and a sign, 0 without digits.
int32_t FieldNumber(std::string_view text, size_t index);

// major * 10000 + minor * 100 + patch, as unsigned 32-bit arithmetic.
uint32_t ComparisonValue(int32_t major, int32_t minor, int32_t patch);

enum class Verdict { Failure, UpToDate, Newer };

// The outcome of a version file compared with the running major, minor and patch.
struct VersionAnswer {
    Verdict verdict = Verdict::Failure;
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;
    std::string page;  // field 3, without the line end the file may carry
};
VersionAnswer JudgeVersionFile(std::string_view text, int32_t major, int32_t minor, int32_t patch);

// The file-version form: fields 0 and 1 as (major << 16) | (minor & 0xFFFF), compared with the
// module's most significant file-version word; field 2 names the page.
struct FileVersionAnswer {
    Verdict verdict = Verdict::Failure;
    uint32_t version = 0;
    std::string page;
};
FileVersionAnswer JudgeFileVersionFile(std::string_view text, uint32_t running);

// The page address comes from the network: only an http or https address with a host, and
// without quotes, blanks or control characters, may reach the shell or a command line.
bool IsSafePageAddress(std::string_view address);

// The browser command from the registry, cut before its "%1" placeholder (the quoted form
// first), followed by a blank and the quoted address. Empty when the result and its
// terminator do not fit in kCommandBufferSize bytes.
std::optional<std::string> BrowserCommandLine(std::string_view command, std::string_view address);

}  // namespace update
