// Loading a plug-in DLL the way a host finds filters: architecture check, PiPL lookup, entry point.
#include "host/PlugInModuleWin.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace vg::host {
namespace {

std::string LastErrorText(DWORD code) {
    char buf[512] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, sizeof buf, nullptr);
    while (n > 0 &&
           (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ' || buf[n - 1] == '.'))
        buf[--n] = 0;
    std::string s = n ? buf : "error";
    return s + " (" + std::to_string(code) + ")";
}

struct PiPLSearch {
    std::vector<std::vector<uint8_t>> lists;
};

BOOL CALLBACK CollectPiPL(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* search = reinterpret_cast<PiPLSearch*>(param);
    HRSRC res = FindResourceA(module, name, type);
    HGLOBAL mem = res ? LoadResource(module, res) : nullptr;
    const void* data = mem ? LockResource(mem) : nullptr;
    DWORD size = res ? SizeofResource(module, res) : 0;
    if (data && size)
        search->lists.emplace_back(static_cast<const uint8_t*>(data),
                                   static_cast<const uint8_t*>(data) + size);
    return TRUE;
}

std::string Directory(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

CPlugInModule::~CPlugInModule() {
    Unload();
}

void CPlugInModule::Unload() {
    if (m_module)
        FreeLibrary(static_cast<HMODULE>(m_module));
    m_module = nullptr;
    m_entry = nullptr;
    m_info = PlugInInfo{};
}

bool CPlugInModule::Load(const std::string& path, std::string* error) {
    Unload();
    const std::string who = "Plug-in " + path;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *error = (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
                     ? who + " not found."
                     : who + " cannot be read: " + LastErrorText(e) + ".";
        return false;
    }
    uint8_t head[4096];
    DWORD got = 0;
    BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    uint16_t machine = read ? PeMachine(head, got) : 0;
    if (machine == 0) {
        *error = who + " is not a Windows DLL.";
        return false;
    }
    if (machine != 0x8664) {
        char m[16];
        std::snprintf(m, sizeof m, "0x%04X", machine);
        *error = who + (machine == 0x14C
                            ? " is a 32-bit plug-in; this host runs 64-bit (x64) plug-ins only."
                            : " is built for another architecture (machine " + std::string(m) +
                                  "); this host runs x64 plug-ins only.");
        return false;
    }
    // Libraries the plug-in loads later by bare name (its engine) are found beside it.
    std::string dir = Directory(path);
    if (!dir.empty())
        SetDllDirectoryA(dir.c_str());
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        *error = who + " cannot be loaded: " + LastErrorText(GetLastError()) + ".";
        return false;
    }
    m_module = module;

    PiPLSearch search;
    EnumResourceNamesA(module, "PIPL", CollectPiPL, reinterpret_cast<LONG_PTR>(&search));
    if (search.lists.empty()) {
        *error = who + " has no PiPL resource: it is not a filter plug-in.";
        Unload();
        return false;
    }
    std::string why;
    bool found = false;
    for (const auto& list : search.lists) {
        PlugInInfo info;
        std::string e;
        if (!ParsePiPL(list.data(), list.size(), &info, &e)) {
            why = "its PiPL is damaged (" + e + ")";
            continue;
        }
        if (info.kind != ps::kFilterKind) {
            why = "its PiPL is not of kind 8BFM (filter)";
            continue;
        }
        m_info = std::move(info);
        found = true;
        break;
    }
    if (!found) {
        *error = who + " cannot be used: " + why + ".";
        Unload();
        return false;
    }
    if (m_info.version >= 0) {
        int major = m_info.version >> 16, minor = m_info.version & 0xFFFF;
        if (major > ps::kLatestFilterVersion ||
            (major == ps::kLatestFilterVersion && minor > ps::kLatestFilterSubVersion)) {
            *error = who + " needs a newer host (filter interface " + std::to_string(major) + "." +
                     std::to_string(minor) + ").";
            Unload();
            return false;
        }
    }
    if (m_info.entryPoint.empty()) {
        *error =
            who + (m_info.entryPoint32.empty() ? " names no entry point in its PiPL."
                                               : " names only a 32-bit entry point in its PiPL.");
        Unload();
        return false;
    }
    FARPROC entry = GetProcAddress(module, m_info.entryPoint.c_str());
    if (entry == nullptr) {
        *error = who + " does not export its entry point '" + m_info.entryPoint + "'.";
        Unload();
        return false;
    }
    m_entry = reinterpret_cast<ps::PluginMainProc>(reinterpret_cast<void*>(entry));
    return true;
}

}  // namespace vg::host
