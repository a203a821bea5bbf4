// Input selection and output naming for glazehost batches.
#include "host/BatchPlan.h"

#include <cctype>

namespace vg::host {
namespace {

char Lower(char c) {
    return char(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsReservedDeviceName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualNoCase(name, device))
            return true;
    if (name.size() == 4 &&
        (EqualNoCase(name.substr(0, 3), "COM") || EqualNoCase(name.substr(0, 3), "LPT"))) {
        const unsigned char digit = static_cast<unsigned char>(name[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// The pattern with its placeholders filled in; ext is what {ext} stands for.
std::string Expand(const std::string& pattern, std::string_view stem, std::string_view ext,
                   int number) {
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 6, "{stem}") == 0) {
            out += stem;
            i += 6;
        } else if (pattern.compare(i, 5, "{ext}") == 0) {
            out += ext;
            i += 5;
        } else if (pattern.compare(i, 3, "{n}") == 0) {
            out += std::to_string(number);
            i += 3;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

bool GlobMatch(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            // Let the last star take one more character and try again from there.
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool HasWildcard(std::string_view path) {
    return path.find_first_of("*?") != std::string_view::npos;
}

ImageFormat FormatFromName(std::string_view name) {
    if (EqualNoCase(name, "jpg") || EqualNoCase(name, "jpeg"))
        return ImageFormat::Jpeg;
    if (EqualNoCase(name, "png"))
        return ImageFormat::Png;
    if (EqualNoCase(name, "tif") || EqualNoCase(name, "tiff"))
        return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

bool IsImageName(std::string_view name) {
    return FormatFromName(ExtensionOf(name)) != ImageFormat::Unknown;
}

const char* CanonicalExtension(ImageFormat format) {
    switch (format) {
        case ImageFormat::Jpeg:
            return "jpg";
        case ImageFormat::Png:
            return "png";
        case ImageFormat::Tiff:
            return "tif";
        default:
            return "";
    }
}

bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    return !IsReservedDeviceName(name);
}

bool CheckNamePattern(const std::string& pattern, std::string* error) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '}') {
            *error = "--name: a '}' without '{' in '" + pattern + "'";
            return false;
        }
        if (pattern[i] != '{')
            continue;
        size_t close = pattern.find('}', i);
        const std::string field =
            close == std::string::npos ? std::string() : pattern.substr(i, close - i + 1);
        if (field != "{stem}" && field != "{ext}" && field != "{n}") {
            *error = "--name knows {stem}, {ext} and {n}, not '" +
                     (field.empty() ? pattern.substr(i) : field) + "'";
            return false;
        }
        i = close;
    }
    const std::string sample = Expand(pattern, "IMG_0001", "jpg", 1);
    if (!IsPlainFileName(sample)) {
        *error = "--name '" + pattern + "' does not make a plain file name";
        return false;
    }
    return true;
}

std::string_view FileNameOf(std::string_view path) {
    size_t sep = path.find_last_of("\\/");
    if (sep == std::string_view::npos && path.size() >= 2 && path[1] == ':')
        sep = 1;
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

std::string_view StemOf(std::string_view path) {
    std::string_view name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string_view ExtensionOf(std::string_view path) {
    std::string_view name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/' && path.back() != ':')
        path += '\\';
    path += name;
    return path;
}

bool SamePath(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] == '/' ? '\\' : Lower(a[i]);
        char y = b[i] == '/' ? '\\' : Lower(b[i]);
        if (x != y)
            return false;
    }
    return true;
}

void PlanOutputs(std::vector<BatchItem>& items, const std::string& folder,
                 const std::string& pattern, ImageFormat forced) {
    for (size_t i = 0; i < items.size(); ++i) {
        BatchItem& item = items[i];
        item.output.clear();
        item.problem.clear();
        const ImageFormat inputFormat = FormatFromName(ExtensionOf(item.input));
        if (inputFormat == ImageFormat::Unknown) {
            item.problem = "unknown extension: glazehost reads .png, .tif, .tiff, .jpg and .jpeg";
            continue;
        }
        const std::string_view ext =
            forced != ImageFormat::Unknown ? CanonicalExtension(forced) : ExtensionOf(item.input);
        const std::string name = Expand(pattern, StemOf(item.input), ext, int(i + 1));
        // "{ext}" at the end keeps the format; a literal extension names one.
        const ImageFormat format = EndsWith(pattern, ".{ext}")
                                       ? (forced != ImageFormat::Unknown ? forced : inputFormat)
                                       : FormatFromName(ExtensionOf(name));
        if (format == ImageFormat::Unknown) {
            item.problem = "the output name " + name + " has no .png, .tif or .jpg extension";
            continue;
        }
        if (forced != ImageFormat::Unknown && format != forced) {
            item.problem =
                "the output name " + name + " does not suit --format " + CanonicalExtension(forced);
            continue;
        }
        if (!IsPlainFileName(name)) {
            item.problem = "the output name '" + name + "' is not a plain file name";
            continue;
        }
        const std::string output =
            JoinPath(item.subfolder.empty() ? folder : JoinPath(folder, item.subfolder), name);
        for (const BatchItem& other : items) {
            if (SamePath(output, other.input)) {
                item.problem = SamePath(output, item.input)
                                   ? "its output " + output + " would replace it"
                                   : "its output " + output + " is another input of the batch";
                break;
            }
        }
        for (size_t j = 0; j < i && item.problem.empty(); ++j) {
            if (!items[j].output.empty() && SamePath(output, items[j].output))
                item.problem = "its output " + output + " is already written for " + items[j].input;
        }
        if (item.problem.empty()) {
            item.output = output;
            item.format = format;
        }
    }
}

}  // namespace vg::host
