// Whole-file replacement through a temporary file and MoveFileExA.
#include <windows.h>

#include <algorithm>

#include "presets/FileReplace.h"

namespace {

// The folder part of path with its trailing separator, or "." for a bare name.
std::string FolderOf(const std::string& path) {
    size_t sep = path.find_last_of("\\/");
    if (sep == std::string::npos)
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
    return path.substr(0, sep + 1);
}

bool WriteAndFlush(const char* tempName, std::string_view bytes) {
    HANDLE file = CreateFileA(tempName, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // The data must be on disk before the rename makes it the file; a crash between the two
    // would otherwise leave an empty or partial file under the real name.
    ok = ok && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    return ok;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::string_view bytes) {
    char tempName[MAX_PATH];
    // Creates an empty, uniquely named "vgp*.tmp" file in the same folder, so the final move
    // is a rename on one volume.
    if (GetTempFileNameA(FolderOf(path).c_str(), "vgp", 0, tempName) == 0)
        return false;
    if (WriteAndFlush(tempName, bytes) &&
        MoveFileExA(tempName, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileA(tempName);
    return false;
}
