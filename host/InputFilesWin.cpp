// Input expansion through FindFirstFileA; the matching itself is portable (BatchPlan.cpp).
#include "host/InputFiles.h"

#include <windows.h>

#include <algorithm>

namespace vg::host {
namespace {

constexpr int kMaxDepth = 32;

struct Entry {
    std::string name;
    bool folder;
};

// Every entry of a folder but "." and "..", and links to folders (which could loop).
std::vector<Entry> List(const std::string& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(JoinPath(folder, "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = data.cFileName;
        const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name == "." || name == ".." ||
            (folderEntry && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
            continue;
        entries.push_back({name, folderEntry});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

void AddFolder(const std::string& folder, const std::string& subfolder, bool recursive, int depth,
               std::vector<BatchItem>* items) {
    const std::vector<Entry> entries = List(folder);
    for (const Entry& e : entries) {
        if (!e.folder && IsImageName(e.name)) {
            BatchItem item;
            item.input = JoinPath(folder, e.name);
            item.subfolder = subfolder;
            items->push_back(std::move(item));
        }
    }
    if (!recursive || depth >= kMaxDepth)
        return;
    for (const Entry& e : entries)
        if (e.folder)
            AddFolder(JoinPath(folder, e.name),
                      subfolder.empty() ? e.name : JoinPath(subfolder, e.name), true, depth + 1,
                      items);
}

BatchItem Problem(const std::string& arg, const std::string& problem) {
    BatchItem item;
    item.input = arg;
    item.problem = problem;
    return item;
}

}  // namespace

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

bool MakeFolders(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::string_view name = FileNameOf(folder);
    if (name.empty() || name.size() == folder.size())
        return false;
    const std::string parent = folder.substr(0, folder.size() - name.size() - 1);
    if (!parent.empty() && parent.back() != ':' && !MakeFolders(parent))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::vector<BatchItem> ExpandInputs(const std::vector<std::string>& args, bool recursive) {
    std::vector<BatchItem> items;
    for (const std::string& arg : args) {
        const std::string full = FullPath(arg);
        const std::string_view name = FileNameOf(full);
        const std::string folder = full.substr(0, full.size() - name.size());
        const size_t before = items.size();
        if (HasWildcard(folder)) {
            items.push_back(Problem(arg, "wildcards are taken only in the file name"));
            continue;
        }
        if (HasWildcard(name)) {
            for (const Entry& e : List(folder))
                if (!e.folder && IsImageName(e.name) && GlobMatch(name, e.name))
                    items.push_back({JoinPath(folder, e.name), "", "", ImageFormat::Unknown, ""});
            if (items.size() == before)
                items.push_back(Problem(arg, "matches no PNG, TIFF or JPEG file"));
            continue;
        }
        const DWORD attributes = GetFileAttributesA(full.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            items.push_back(Problem(arg, "not found"));
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddFolder(full, "", recursive, 0, &items);
            if (items.size() == before)
                items.push_back(Problem(arg, "holds no PNG, TIFF or JPEG file"));
        } else {
            items.push_back({full, "", "", ImageFormat::Unknown, ""});
        }
    }
    // Each file once, where it first came.
    std::vector<BatchItem> unique;
    for (BatchItem& item : items) {
        const bool seen = item.problem.empty() &&
                          std::any_of(unique.begin(), unique.end(), [&](const BatchItem& u) {
                              return u.problem.empty() && SamePath(u.input, item.input);
                          });
        if (!seen)
            unique.push_back(std::move(item));
    }
    return unique;
}

}  // namespace vg::host
