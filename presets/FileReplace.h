// Replacing a file's whole content so that a failure part-way leaves the old file whole.
#pragma once

#include <string>
#include <string_view>

// Writes bytes to a new temporary file in the folder of path (its name never ends in
// ".vpp"), flushes it to disk and then moves it over path, replacing any file there. On
// any failure (the folder cannot take a file, a write fails, the file at path cannot be
// replaced) the temporary file is removed, the file at path is left as it was and the result
// is false. Platform-specific.
bool ReplaceFileContent(const std::string& path, std::string_view bytes);
