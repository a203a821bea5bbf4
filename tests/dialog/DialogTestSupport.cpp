// Shared pieces of the dialog tests.
#include "DialogTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "RegistrySettingsWin.h"
#include "DialogDriver.h"
#include "presets/XmlProfile.h"

using namespace vg::host;

// Unbuffered output: a run stopped by its time limit still shows the test it was in.
static const int kUnbufferedOutput = (std::setvbuf(stdout, nullptr, _IONBF, 0), 0);

std::string ModuleWithTestEngine() {
    return std::string("Z:") + VG_DIALOG_TEST_DIR + "/testengine/VarenGlaze2.8bf";
}

std::string ModuleWithRealEngine() {
    return std::string("Z:") + VG_DIALOG_TEST_DIR + "/realengine/VarenGlaze2.8bf";
}

std::string OutputFolder() {
    std::string folder = std::string("Z:") + VG_DIALOG_TEST_DIR + "/screenshots/";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void ResetRegistry() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kProductKey);
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kInstallPathKey, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const std::string folder = std::string("Z:") + VG_DIALOG_TEST_DIR + "\\install";
        ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                         DWORD(folder.size() + 1));
        ::RegCloseKey(key);
    }
}

void StorePreference(const char* name, const char* value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         DWORD(std::strlen(value) + 1));
        ::RegCloseKey(key);
    }
}

std::string PresetFolder() {
    return std::string("Z:") + VG_DIALOG_TEST_DIR + "\\install\\Presets\\";
}

std::string ResetPresetFolder() {
    const std::string folder = PresetFolder();
    ::CreateDirectoryA((std::string("Z:") + VG_DIALOG_TEST_DIR + "\\install").c_str(), nullptr);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::SetFileAttributesA((folder + found.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA((folder + found.cFileName).c_str());
            }
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    return folder;
}

void InstallPreset(const std::string& file, const std::string& name, const PresetValues& values,
                   bool predefined) {
    const std::string path = PresetFolder() + file;
    writePreset(path, name, "Test preset " + name, predefined ? "Varen Works" : "User", values);
    if (predefined) {
        XmlSetInt({"VarenWorks", "VarenGlaze", name}, "Mod", 0, path);
    }
}

std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return bytes;
    }
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.append(chunk, n);
    }
    std::fclose(f);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

CHostImage TestImage(int32_t width, int32_t height, int32_t depth) {
    CHostImage image;
    std::string error;
    image.Create(width, height, 3, depth, false, &error);
    const uint32_t max = image.MaxSample();
    const double cx = width * 0.6, cy = height * 0.4, r = std::min(width, height) * 0.25;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const double dx = x - cx, dy = y - cy;
            const bool disc = dx * dx + dy * dy < r * r;
            for (int32_t c = 0; c < 3; ++c) {
                double v = disc ? 0.85 - 0.1 * c : 0.15 + 0.6 * x / width + 0.1 * c * y / height;
                v += ((x / 3 + y / 3) % 2) * 0.04;
                image.SetSample(x, y, c, uint32_t(std::min(1.0, v) * max));
            }
        }
    }
    return image;
}

void UntilSettledPreview(CDialogDriver& d, int calls) {
    d.Until([calls] { return ReadEngine().last.calls >= calls; }, "the settled preview");
    // The settle timer (500 ms) starts when the dialog has opened, before the first step.
    d.Sleep(1000);
}

EngineState ReadEngine() {
    EngineState state;
    HMODULE engine = ::GetModuleHandleA("vwiglaze21_x64.dll");
    auto control = engine ? reinterpret_cast<TestEngineControlProc>(reinterpret_cast<void*>(
                                ::GetProcAddress(engine, "TestEngineControl")))
                          : nullptr;
    if (control) {
        control(nullptr, &state.last);
        state.loaded = true;
    }
    return state;
}

void ScriptEngine(const TestEngineScript& script) {
    HMODULE engine = ::GetModuleHandleA("vwiglaze21_x64.dll");
    auto control = engine ? reinterpret_cast<TestEngineControlProc>(reinterpret_cast<void*>(
                                ::GetProcAddress(engine, "TestEngineControl")))
                          : nullptr;
    if (control) {
        control(&script, nullptr);
    }
}

HostOptions Recording(Painted* painted, std::vector<AdvanceRequest>* requests) {
    HostOptions options;
    if (painted) {
        options.onDisplayPixels = [painted](const ps::PSPixelMap& map, const ps::VRect& area,
                                            int32_t dstRow, int32_t dstCol) {
            ++painted->calls;
            painted->rows = area.bottom - area.top;
            painted->columns = area.right - area.left;
            painted->planes = map.colBytes;
            painted->dstRow = dstRow;
            painted->dstCol = dstCol;
            painted->pixels.assign(size_t(painted->rows) * painted->columns * painted->planes, 0);
            for (int32_t y = 0; y < painted->rows; ++y) {
                std::memcpy(&painted->pixels[size_t(y) * painted->columns * painted->planes],
                            static_cast<const uint8_t*>(map.baseAddr) + size_t(y) * map.rowBytes,
                            size_t(painted->columns) * painted->planes);
            }
        };
    }
    if (requests) {
        options.onAdvanceState = [requests](const AdvanceRequest& r) { requests->push_back(r); };
    }
    return options;
}

namespace {

uint32_t Crc(const uint8_t* data, size_t n, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) {
        out.push_back(static_cast<uint8_t>(v >> s));
    }
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    Put32(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    Put32(png, Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
}

// An RGB PNG with stored deflate blocks: no compression library needed.
bool WritePng(const std::string& path, int w, int h, const std::vector<uint32_t>& bgrx) {
    std::vector<uint8_t> raw;
    raw.reserve(size_t(h) * (size_t(w) * 3 + 1));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = bgrx[size_t(y) * w + x];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size();) {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(pos), raw.begin() + std::ptrdiff_t(pos + n));
        pos += n;
    }
    Put32(z, (b << 16) | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    Put32(header, uint32_t(w));
    Put32(header, uint32_t(h));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

bool SaveWindowPng(HWND window, const std::string& path) {
    RECT r;
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        return false;
    }
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC source = ::GetWindowDC(window);
    HBITMAP dib = ::CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(source);
    HGDIOBJ old = ::SelectObject(memory, dib);
    ::BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> pixels(px, px + size_t(w) * h);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(dib);
    ::ReleaseDC(window, source);
    return WritePng(path, w, h, pixels);
}
