// Whole-file replacement through a temporary file and rename(2), for the native build.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "presets/FileReplace.h"

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, std::string_view bytes) {
    size_t sep = path.find_last_of('/');
    std::string pattern =
        (sep == std::string::npos ? std::string() : path.substr(0, sep + 1)) + ".vgpXXXXXX.tmp";
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    int fd = ::mkstemps(tempName.data(), 4);
    if (fd < 0)
        return false;
    // mkstemps makes the file private; give it the mode a newly created file normally has.
    bool ok = ::fchmod(fd, 0644) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(tempName.data(), path.c_str()) == 0)
        return true;
    ::unlink(tempName.data());
    return false;
}
