// The rules for preset links typed into the import dialog and for the file name a link gives
// in the preset folder. Portable.
#pragma once

#include <string>
#include <string_view>

// The link with every space removed, wherever it stands.
std::string RemoveSpaces(std::string_view text);

// Whether a link (spaces already removed) names a preset file over the web: it starts with
// "http://" or "https://" and ends with ".vpp", both in any case.
bool IsAcceptedPresetLink(std::string_view link);

// The bare file name the link's last path step gives, percent-decoded, or empty when that
// name could lead anywhere but a plain preset file in the preset folder: a path separator of
// either kind or a colon after decoding, "..", a wildcard or quote character, a control
// character, a reserved device name, a name not ending in ".vpp" or with nothing before it,
// or one longer than kMaxLinkFileName characters.
std::string PresetFileNameFromLink(std::string_view link);

constexpr size_t kMaxLinkFileName = 200;
