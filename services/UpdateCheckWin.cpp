// The update check: one bounded HTTP request, the verdict, the message and the page.
#include "UpdateCheckWin.h"

#include <wininet.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Handle.h"
#include "HttpGetWin.h"
#include "UpdateText.h"
#include "WaitCursor.h"
#include "WinApp.h"

namespace {

constexpr char kAgent[] = "Varen Work's Software Update Search";
// Reload from the server, keep nothing in the cache, send a no-cache pragma, ASCII transfer.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_ASCII;
constexpr int kShow = SW_SHOW;

CUpdateCheck::Launcher DefaultLauncher() {
    CUpdateCheck::Launcher launcher;
    launcher.shellOpen = [](const char* address, int show) {
        return reinterpret_cast<INT_PTR>(
            ::ShellExecuteA(nullptr, "open", address, nullptr, nullptr, show));
    };
    launcher.run = [](const char* commandLine, int show) {
        return ::WinExec(commandLine, static_cast<UINT>(show));
    };
    return launcher;
}

}  // namespace

CUpdateCheck::CUpdateCheck() : CUpdateCheck(DefaultLauncher()) {}

CUpdateCheck::CUpdateCheck(Launcher launcher, DWORD timeout, DWORD deadline)
    : m_launcher(std::move(launcher)), m_timeout(timeout), m_deadline(deadline) {}

CUpdateCheck::~CUpdateCheck() = default;

std::optional<std::string> CUpdateCheck::Fetch(const char* address) const {
    // The version file is short: what lies past its limit is not read.
    std::string text;
    HttpBodySink sink;
    sink.piece = [&text](const char* data, size_t size) {
        text.append(data, std::min(size, update::kMaxFileBytes - text.size()));
        return text.size() < update::kMaxFileBytes ? HttpBodyStep::More : HttpBodyStep::Enough;
    };
    const HttpGetOptions options = {kAgent, kRequestFlags, m_timeout, m_deadline};
    if (HttpGet(address, options, sink) != HttpGetResult::Done) {
        return std::nullopt;  // an error page is not a version file
    }
    // The text ends at its first NUL, as a C string would.
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

void CUpdateCheck::CheckVersion(const char* address, int major, int minor, int patch) {
    std::optional<std::string> text;
    {
        CWaitCursor wait;
        text = Fetch(address);
    }
    if (!text || text->empty()) {
        ReportFailure();
        return;
    }
    const update::VersionAnswer answer = update::JudgeVersionFile(*text, major, minor, patch);
    switch (answer.verdict) {
        case update::Verdict::Failure:
            ReportFailure();
            break;
        case update::Verdict::Newer:
            ReportNewerVersion(answer.page.c_str(), major, minor, patch, answer.major, answer.minor,
                               answer.patch);
            break;
        case update::Verdict::UpToDate:
            ReportUpToDate();
            break;
    }
}

void CUpdateCheck::CheckFileVersion(const char* address) {
    char file[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(AfxGetInstanceHandle(), file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(file, &handle);
    if (size == 0) {
        return;
    }
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!::GetFileVersionInfoA(file, 0, size, block.data()) ||
        !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) ||
        !info || infoSize < sizeof(VS_FIXEDFILEINFO)) {
        return;
    }
    const DWORD running = info->dwFileVersionMS;
    std::optional<std::string> text;
    {
        CWaitCursor wait;
        text = Fetch(address);
    }
    if (!text || text->empty()) {
        ReportFailure();
        return;
    }
    const update::FileVersionAnswer answer = update::JudgeFileVersionFile(*text, running);
    switch (answer.verdict) {
        case update::Verdict::Failure:
            ReportFailure();
            break;
        case update::Verdict::Newer:
            ReportNewer(running, answer.version, answer.page.c_str());
            break;
        case update::Verdict::UpToDate:
            ReportUpToDate();
            break;
    }
}

void CUpdateCheck::CheckFileVersionFromResource(UINT stringId) {
    CheckFileVersion(AfxLoadString(stringId).c_str());
}

void CUpdateCheck::ReportNewer(DWORD current, DWORD newer, const char* address) {
    if (AfxMessageBox("A new version is available!\n  Do you want to update?",
                      MB_YESNO | MB_ICONINFORMATION) == IDYES) {
        OpenInBrowser(address, kShow);
    }
}

void CUpdateCheck::ReportNewerVersion(const char* address, int major, int minor, int patch,
                                      int newMajor, int newMinor, int newPatch) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  "A new version %d.%d.%d is available!\n  (You are using version %d.%d.%d)\n\n"
                  "  Do you want to update?",
                  newMajor, newMinor, newPatch, major, minor, patch);
    if (AfxMessageBox(text, MB_YESNO | MB_ICONINFORMATION) == IDYES) {
        OpenInBrowser(address, kShow);
    }
}

void CUpdateCheck::ReportUpToDate() {
    AfxMessageBox("Your current version is up-to-date.", MB_OK | MB_ICONINFORMATION);
}

void CUpdateCheck::ReportFailure() {
    AfxMessageBox("Check failed. Please try again later.", MB_OK | MB_ICONINFORMATION);
}

INT_PTR CUpdateCheck::OpenInBrowser(const char* address, int show) {
    if (!address || !update::IsSafePageAddress(address)) {
        return 0;
    }
    const INT_PTR shell = m_launcher.shellOpen ? m_launcher.shellOpen(address, show) : 0;
    if (shell > 32) {
        return shell;
    }
    std::string type;
    if (ReadDefaultValue(HKEY_CLASSES_ROOT, ".htm", type) != ERROR_SUCCESS) {
        return shell;
    }
    std::string command;
    if (ReadDefaultValue(HKEY_CLASSES_ROOT, (type + "\\shell\\open\\command").c_str(), command) !=
        ERROR_SUCCESS) {
        return shell;
    }
    const std::optional<std::string> line = update::BrowserCommandLine(command, address);
    if (!line || !m_launcher.run) {
        return shell;
    }
    return static_cast<INT_PTR>(m_launcher.run(line->c_str(), show));
}

LONG CUpdateCheck::ReadDefaultValue(HKEY root, const char* path, std::string& value) {
    value.clear();
    HKEY opened = nullptr;
    const LONG error = ::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &opened);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    CRegKeyHandle key(opened);
    char buffer[260] = {};
    LONG size = sizeof(buffer);
    if (::RegQueryValueA(key.Get(), nullptr, buffer, &size) == ERROR_SUCCESS) {
        buffer[sizeof(buffer) - 1] = '\0';
        value = buffer;
    }
    return ERROR_SUCCESS;
}
