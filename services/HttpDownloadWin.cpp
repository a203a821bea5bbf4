// A bounded HTTP download into a file.
#include "HttpDownloadWin.h"

#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Handle.h"

namespace {

struct InternetTraits {
    using Type = HINTERNET;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};
using CInternetHandle = CHandle<InternetTraits>;

constexpr char kAgent[] = "Varen Glaze 2 Preset Import";
// Always from the server, nothing kept in WinINet's cache, binary transfer.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_BINARY |
                                INTERNET_FLAG_NO_UI;

void SetTimeouts(HINTERNET handle, DWORD timeout) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionA(handle, option, &timeout, sizeof(timeout));
    }
}

}  // namespace

DownloadResult DownloadToFile(const std::string& address, const std::string& path,
                              const DownloadLimits& limits) {
    const ULONGLONG start = ::GetTickCount64();
    auto late = [&] { return ::GetTickCount64() - start > limits.deadline; };

    std::vector<char> host(256), urlPath(2048), extra(2048);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = urlPath.data();
    parts.dwUrlPathLength = static_cast<DWORD>(urlPath.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (address.empty() || !::InternetCrackUrlA(address.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        host[0] == '\0') {
        return DownloadResult::BadAddress;
    }
    const std::string object = std::string(urlPath[0] ? urlPath.data() : "/") + extra.data();

    CInternetHandle session(
        ::InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return DownloadResult::Failed;
    }
    SetTimeouts(session.Get(), limits.timeout);
    CInternetHandle connection(::InternetConnectA(session.Get(), host.data(), parts.nPort, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return DownloadResult::Failed;
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    CInternetHandle request(::HttpOpenRequestA(connection.Get(), "GET", object.c_str(), nullptr,
                                               nullptr, nullptr, kRequestFlags | secure, 0));
    if (!request) {
        return DownloadResult::Failed;
    }
    // A session's time-outs alone leave a request waiting forever on some systems.
    SetTimeouts(request.Get(), limits.timeout);
    if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        return late() ? DownloadResult::TimedOut : DownloadResult::Failed;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr)) {
        return DownloadResult::Failed;
    }
    if (status != HTTP_STATUS_OK) {
        return DownloadResult::NotFound;
    }
    // The announced length, when there is one: too long is refused before reading.
    char lengthText[32] = {};
    DWORD lengthSize = sizeof(lengthText);
    const bool announced = ::HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText,
                                            &lengthSize, nullptr) != FALSE;
    const unsigned long long length = announced ? std::strtoull(lengthText, nullptr, 10) : 0;
    if (announced && length > limits.maxBytes) {
        return DownloadResult::TooLarge;
    }

    CFileHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return DownloadResult::FileError;
    }
    std::vector<char> buffer(16384);
    size_t total = 0;
    for (;;) {
        if (late()) {
            return DownloadResult::TimedOut;
        }
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
            return late() ? DownloadResult::TimedOut : DownloadResult::Failed;
        }
        if (available == 0) {
            break;  // the end of the answer
        }
        const DWORD want = static_cast<DWORD>(std::min<size_t>(available, buffer.size()));
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer.data(), want, &got)) {
            return late() ? DownloadResult::TimedOut : DownloadResult::Failed;
        }
        if (got == 0) {
            break;
        }
        total += got;
        if (total > limits.maxBytes) {
            return DownloadResult::TooLarge;
        }
        DWORD written = 0;
        if (!::WriteFile(file.Get(), buffer.data(), got, &written, nullptr) || written != got) {
            return DownloadResult::FileError;
        }
    }
    if (announced && total != length) {
        return DownloadResult::Failed;  // the connection closed early
    }
    return DownloadResult::Done;
}
