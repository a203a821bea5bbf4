// Folder listing with wildcard lists: the filtering, ordering and descent.
#include "presets/FileFinder.h"

#include <algorithm>

#include "presets/WildcardMatch.h"

CFileFinder::CFileFinder(std::string excludeFolders, std::string excludeFiles,
                         std::string includeFolders, std::string includeFiles,
                         FileFinderOptions options)
    : m_excludeFolders(std::move(excludeFolders)),
      m_excludeFiles(std::move(excludeFiles)),
      m_includeFolders(std::move(includeFolders)),
      m_includeFiles(std::move(includeFiles)),
      m_options(options) {}

bool CFileFinder::Passes(std::string_view name, std::string_view excludes,
                         std::string_view includes, bool ignoreCase) {
    if (!excludes.empty() && WildcardMatchList(excludes, name, ignoreCase))
        return false;
    return includes.empty() || WildcardMatchList(includes, name, ignoreCase);
}

bool CFileFinder::Find(const std::string& folder) {
    m_folders.clear();
    m_files.clear();
    std::string base = folder;
    if (!base.empty() && base.back() == '\\')
        base.pop_back();
    return Search(base, 0);
}

bool CFileFinder::Search(const std::string& folder, int depth) {
    std::vector<Entry> entries;
    if (!ListFolder(folder, entries))
        return false;

    std::vector<Entry> folders;
    std::vector<std::string> files;
    for (Entry& entry : entries) {
        if (entry.name == "." || entry.name == "..")
            continue;
        if (entry.isFolder) {
            if (Passes(entry.name, m_excludeFolders, m_includeFolders,
                       m_options.folderIgnoreCase)) {
                folders.push_back(std::move(entry));
            }
        } else if (Passes(entry.name, m_excludeFiles, m_includeFiles, m_options.fileIgnoreCase)) {
            files.push_back(std::move(entry.name));
        }
    }
    // std::string compares its bytes as unsigned char: "A" < "B" < "a", "ab" < "abc".
    std::sort(folders.begin(), folders.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    std::sort(files.begin(), files.end());

    auto report = [&](const std::string& name) {
        return m_options.fullPaths ? folder + "\\" + name : name;
    };
    for (const Entry& entry : folders) m_folders.push_back(report(entry.name));
    for (const std::string& name : files) m_files.push_back(report(name));

    if (m_options.searchSubFolders && depth + 1 < kMaxDepth) {
        for (const Entry& entry : folders) {
            if (!entry.isReparsePoint)
                Search(folder + "\\" + entry.name, depth + 1);
        }
    }
    return true;
}
