// The update check: one bounded HTTP request, the verdict, the message and the page.
#include "UpdateCheckWin.h"

#include <wininet.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "Handle.h"
#include "UpdateText.h"
#include "WaitCursor.h"
#include "WinApp.h"

namespace {

struct InternetTraits {
    using Type = HINTERNET;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};
using CInternetHandle = CHandle<InternetTraits>;

constexpr char kAgent[] = "Varen Work's Software Update Search";
// Reload from the server, keep nothing in the cache, send a no-cache pragma, ASCII transfer.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_ASCII;
constexpr int kShow = SW_SHOW;

void SetTimeouts(HINTERNET handle, DWORD timeout) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionA(handle, option, &timeout, sizeof(timeout));
    }
}

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
    if (!address || !*address) {
        return std::nullopt;
    }
    const ULONGLONG start = ::GetTickCount64();
    char host[256] = {};
    char path[2048] = {};
    char extra[2048] = {};
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    if (!::InternetCrackUrlA(address, 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        host[0] == '\0') {
        return std::nullopt;
    }
    const std::string object = std::string(path[0] ? path : "/") + extra;

    CInternetHandle session(
        ::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return std::nullopt;
    }
    SetTimeouts(session.Get(), m_timeout);
    CInternetHandle connection(::InternetConnectA(session.Get(), host, parts.nPort, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return std::nullopt;
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    CInternetHandle request(::HttpOpenRequestA(connection.Get(), "GET", object.c_str(), nullptr,
                                               nullptr, nullptr, kRequestFlags | secure, 0));
    if (!request) {
        return std::nullopt;
    }
    // Time-outs on the request handle: a session's alone leave the request waiting forever
    // on some systems.
    SetTimeouts(request.Get(), m_timeout);
    if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        return std::nullopt;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr) ||
        status != HTTP_STATUS_OK) {
        return std::nullopt;  // an error page is not a version file
    }
    // Read what is there, piece by piece, so that a trickling server meets the deadline.
    std::string text;
    char buffer[update::kMaxFileBytes];
    while (text.size() < update::kMaxFileBytes) {
        if (::GetTickCount64() - start > m_deadline) {
            return std::nullopt;
        }
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
            return std::nullopt;
        }
        if (available == 0) {
            break;  // the end of the answer
        }
        const DWORD want =
            static_cast<DWORD>(std::min<size_t>(available, update::kMaxFileBytes - text.size()));
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer, want, &got)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        text.append(buffer, got);
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
