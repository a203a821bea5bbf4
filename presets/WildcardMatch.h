// Wildcard patterns ("*" any run, "?" any one character) matched against file names.
#pragma once

#include <string_view>

// True when the whole name matches the pattern. With ignoreCase, ASCII letters compare
// without regard to case.
bool WildcardMatch(std::string_view pattern, std::string_view name, bool ignoreCase);

// True when the name matches one of the ";"-separated patterns of the list.
bool WildcardMatchList(std::string_view patterns, std::string_view name, bool ignoreCase);
