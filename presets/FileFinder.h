// Lists a folder's files and sub-folders that pass include and exclude wildcard lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct FileFinderOptions {
    bool searchSubFolders = false;
    bool fullPaths = false;  // report folder + "\" + name instead of the bare name
    bool folderIgnoreCase = true;
    bool fileIgnoreCase = true;
};

// Owns the four pattern lists (each ";"-separated; empty means the list is absent) and the
// results of the last Find. An entry passes when it matches no exclude pattern and, if
// there is an include list, at least one include pattern. Each folder's entries are sorted
// by their bytes; sub-folders (when searched) follow in that order. Reparse points are not
// followed, and the descent stops at kMaxDepth levels.
class CFileFinder {
public:
    static constexpr int kMaxDepth = 32;

    CFileFinder(std::string excludeFolders, std::string excludeFiles, std::string includeFolders,
                std::string includeFiles, FileFinderOptions options = {});

    // Lists the folder (one trailing backslash is ignored). False when it cannot be listed.
    bool Find(const std::string& folder);

    const std::vector<std::string>& GetFolders() const { return m_folders; }
    const std::vector<std::string>& GetFiles() const { return m_files; }

    // Whether the name passes the given lists.
    static bool Passes(std::string_view name, std::string_view excludes, std::string_view includes,
                       bool ignoreCase);

private:
    struct Entry {
        std::string name;
        bool isFolder;
        bool isReparsePoint;
    };

    // Every entry of the folder except "." and "..". Platform-specific.
    static bool ListFolder(const std::string& folder, std::vector<Entry>& entries);
    bool Search(const std::string& folder, int depth);

    std::string m_excludeFolders;
    std::string m_excludeFiles;
    std::string m_includeFolders;
    std::string m_includeFiles;
    FileFinderOptions m_options;
    std::vector<std::string> m_folders;
    std::vector<std::string> m_files;
};
