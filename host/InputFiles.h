// glazehost's inputs: files, folders and wildcards expanded into the image files of a batch.
#pragma once

#include "host/BatchPlan.h"

#include <string>
#include <vector>

namespace vg::host {

// The images the arguments name, in order, each once, with full paths: a file as given; a
// folder's image files (.png, .tif, .tiff, .jpg, .jpeg) sorted by name, and with recursive
// those of its sub-folders (depth first, in name order, each with its path below the folder
// as subfolder); the image files a wildcard in the last part of a path matches. An argument
// that names nothing, or no image, becomes an item with a problem. Links to other folders
// are not followed.
std::vector<BatchItem> ExpandInputs(const std::vector<std::string>& args, bool recursive);

// The full path of a path (relative to the current folder); the path itself when it has none.
std::string FullPath(const std::string& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);

}  // namespace vg::host
