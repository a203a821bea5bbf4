// The portable rules of a glazehost batch: which files folders and wildcards take, what each
// output is called and in which format, and which outputs may not be written.
#pragma once

#include "host/ImageFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace vg::host {

// Case-insensitive (ASCII) match of a whole name against '*' (any run of characters, also
// none) and '?' (one character), with backtracking: "*.jpg" matches "a.b.jpg".
bool GlobMatch(std::string_view pattern, std::string_view name);
bool HasWildcard(std::string_view path);

// The format an extension or a --format value names (jpg, jpeg, png, tif, tiff in any case).
ImageFormat FormatFromName(std::string_view name);
// Whether glazehost reads files with this name's extension.
bool IsImageName(std::string_view name);
// The usual extension of a format, without the dot: "jpg", "png", "tif".
const char* CanonicalExtension(ImageFormat format);

// A name that is one file in a folder: not empty, no path separator, drive or stream colon,
// wildcard, quote, "<", ">", "|" or control character, not "." or "..", no trailing dot or
// space, and no reserved device name (CON, NUL, COM1, ...).
bool IsPlainFileName(std::string_view name);

// Checks a --name pattern: placeholders {stem}, {ext} and {n} only, braces balanced, and a
// plain file name once expanded.
bool CheckNamePattern(const std::string& pattern, std::string* error);

// Windows paths, either separator.
std::string_view FileNameOf(std::string_view path);
std::string_view StemOf(std::string_view path);       // the file name up to its last dot
std::string_view ExtensionOf(std::string_view path);  // after the file name's last dot
// Folder + name with one backslash between them.
std::string JoinPath(std::string_view folder, std::string_view name);
// Whether two full paths name the same file, as a Windows file system compares them: ASCII
// case and the kind of separator do not count.
bool SamePath(std::string_view a, std::string_view b);

// One input of a batch and what becomes of it.
struct BatchItem {
    std::string input;      // full path
    std::string subfolder;  // below a folder input given with --recursive, else empty
    std::string output;     // full path; empty when the item cannot be written
    ImageFormat format = ImageFormat::Unknown;
    std::string problem;  // why it cannot be written, for the user
};

// Names the outputs: folder (+ the item's subfolder) + the pattern expanded for the item
// ({n} counts from 1 in the order given). The format is `forced` when known, else the one the
// pattern's literal extension names, else the input's. Refuses, with a problem per item, an
// input of unknown format, an output that is an input of the batch (itself or another), and
// an output another item already writes.
void PlanOutputs(std::vector<BatchItem>& items, const std::string& folder,
                 const std::string& pattern, ImageFormat forced);

}  // namespace vg::host
