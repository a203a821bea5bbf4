// Helpers of the Windows host tests: scratch files, test images, running glazehost.exe.
#pragma once

#include "host/HostImage.h"

#include <string>
#include <vector>

namespace vg::host::test {

// A Windows path for a Unix path on wine's Z: drive.
std::string Z(const std::string& unixPath);
// A fresh scratch directory for one test (Windows path, ends without a separator), emptied of
// what an earlier run left there.
std::string ScratchDir(const std::string& name);
// The names of the files in a folder and its sub-folders (as "sub/name"), sorted.
std::vector<std::string> ListFiles(const std::string& dir);

// A deterministic image that also holds the extreme sample values.
CHostImage Pattern(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha);
// Every colour sample v replaced by max - v; alpha stays.
CHostImage Inverted(const CHostImage& image);

// Runs glazehost.exe with args; returns its exit code (-1 if it could not be run), output
// receives stdout and stderr.
int RunGlazehost(const std::vector<std::string>& args, std::string* output);

bool FileExists(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

}  // namespace vg::host::test
