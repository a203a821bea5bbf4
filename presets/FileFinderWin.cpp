// Folder enumeration through FindFirstFileA and FindNextFileA.
#include <windows.h>

#include "framework/Handle.h"
#include "presets/FileFinder.h"

bool CFileFinder::ListFolder(const std::string& folder, std::vector<Entry>& entries) {
    std::string pattern = folder + "\\*";
    WIN32_FIND_DATAA data;
    // Closed on every way out, also when growing the list throws.
    CFindHandle find(FindFirstFileA(pattern.c_str(), &data));
    if (!find)
        return false;
    do {
        entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(find.Get(), &data));
    return true;
}
