// Folder enumeration through FindFirstFileA and FindNextFileA.
#include <windows.h>

#include "presets/FileFinder.h"

bool CFileFinder::ListFolder(const std::string& folder, std::vector<Entry>& entries) {
    std::string pattern = folder + "\\*";
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}
