// Scratch files, images and child processes for the Windows host tests.
#include "TestFiles.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace vg::host::test {

std::string Z(const std::string& unixPath) {
    return "Z:" + unixPath;
}

namespace {

void Empty(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "/*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName, path = dir + "/" + name;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Empty(path);
            RemoveDirectoryA(path.c_str());
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

void List(const std::string& dir, const std::string& prefix, std::vector<std::string>* names) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "/*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            List(dir + "/" + name, prefix + name + "/", names);
        else
            names->push_back(prefix + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> names;
    List(dir, "", &names);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ScratchDir(const std::string& name) {
    std::string dir = Z(HOST_TEST_TMP) + "/" + name;
    std::string partial;
    for (size_t i = 0; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            partial = dir.substr(0, i);
            if (partial.size() > 3)
                CreateDirectoryA(partial.c_str(), nullptr);
        }
    }
    Empty(dir);
    return dir;
}

CHostImage Pattern(int32_t width, int32_t height, int32_t planes, int32_t depth, bool alpha) {
    CHostImage img;
    std::string error;
    img.Create(width, height, planes, depth, alpha, &error);
    const uint32_t max = img.MaxSample();
    uint32_t seed = 12345;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < img.Channels(); ++c) {
                seed = seed * 1103515245u + 12345u;
                uint32_t v = (seed >> 8) % (max + 1);
                if (x == 0)
                    v = (y % 2) ? max : 0;  // the extremes are where scaling faults show
                img.SetSample(x, y, c, v);
            }
    return img;
}

CHostImage Inverted(const CHostImage& image) {
    CHostImage out = image;
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x)
            for (int32_t c = 0; c < image.Planes(); ++c)
                out.SetSample(x, y, c, image.MaxSample() - image.Sample(x, y, c));
    return out;
}

int RunGlazehost(const std::vector<std::string>& args, std::string* output) {
    std::string cmd = "\"" + Z(HOST_TEST_GLAZEHOST) + "\"";
    for (const auto& a : args) cmd += " \"" + a + "\"";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readPipe = nullptr, writePipe = nullptr;
    output->clear();
    if (!CreatePipe(&readPipe, &writePipe, &sa, 0)) {
        *output = "no pipe for glazehost's output: error " + std::to_string(GetLastError());
        return -1;
    }
    SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writePipe;
    si.hStdError = writePipe;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    const DWORD startError = GetLastError();
    CloseHandle(writePipe);
    if (!started) {
        CloseHandle(readPipe);
        *output = "glazehost could not be started: error " + std::to_string(startError);
        return -1;
    }
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readPipe, buf, sizeof buf, &n, nullptr) && n > 0) output->append(buf, n);
    CloseHandle(readPipe);
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return int(code);
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace vg::host::test
