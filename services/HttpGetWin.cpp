// A bounded HTTP GET through WinINet.
#include "HttpGetWin.h"

#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Handle.h"

namespace {

struct InternetTraits {
    using Type = HINTERNET;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};
using CInternetHandle = CHandle<InternetTraits>;

void SetTimeouts(HINTERNET handle, DWORD timeout) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionA(handle, option, &timeout, sizeof(timeout));
    }
}

}  // namespace

HttpGetResult HttpGet(const char* address, const HttpGetOptions& options,
                      const HttpBodySink& sink) {
    const ULONGLONG start = ::GetTickCount64();
    auto late = [&] { return ::GetTickCount64() - start > options.deadline; };
    auto failed = [&] { return late() ? HttpGetResult::TimedOut : HttpGetResult::Failed; };

    std::vector<char> host(256), urlPath(2048), extra(2048);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = urlPath.data();
    parts.dwUrlPathLength = static_cast<DWORD>(urlPath.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!address || !*address || !::InternetCrackUrlA(address, 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        host[0] == '\0') {
        return HttpGetResult::BadAddress;
    }
    const std::string object = std::string(urlPath[0] ? urlPath.data() : "/") + extra.data();

    CInternetHandle session(
        ::InternetOpenA(options.agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        return HttpGetResult::Failed;
    }
    SetTimeouts(session.Get(), options.timeout);
    CInternetHandle connection(::InternetConnectA(session.Get(), host.data(), parts.nPort, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        return HttpGetResult::Failed;
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    CInternetHandle request(::HttpOpenRequestA(connection.Get(), "GET", object.c_str(), nullptr,
                                               nullptr, nullptr, options.flags | secure, 0));
    if (!request) {
        return HttpGetResult::Failed;
    }
    // A session's time-outs alone leave a request waiting forever on some systems.
    SetTimeouts(request.Get(), options.timeout);
    if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        return failed();
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                          &size, nullptr)) {
        return HttpGetResult::Failed;
    }
    if (status != HTTP_STATUS_OK) {
        return HttpGetResult::NotOk;
    }
    char lengthText[32] = {};
    DWORD lengthSize = sizeof(lengthText);
    const bool announced = ::HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText,
                                            &lengthSize, nullptr) != FALSE;
    const unsigned long long length = announced ? std::strtoull(lengthText, nullptr, 10) : 0;
    if (sink.length && !sink.length(announced, length)) {
        return HttpGetResult::Stopped;
    }

    std::vector<char> buffer(16384);
    unsigned long long total = 0;
    for (;;) {
        if (late()) {
            return HttpGetResult::TimedOut;
        }
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.Get(), &available, 0, 0)) {
            return failed();
        }
        if (available == 0) {
            break;  // the end of the answer
        }
        const DWORD want = static_cast<DWORD>(std::min<size_t>(available, buffer.size()));
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer.data(), want, &got)) {
            return failed();
        }
        if (got == 0) {
            break;
        }
        total += got;
        switch (sink.piece(buffer.data(), got)) {
            case HttpBodyStep::More:
                break;
            case HttpBodyStep::Enough:
                return HttpGetResult::Done;
            case HttpBodyStep::Stop:
                return HttpGetResult::Stopped;
        }
    }
    if (announced && total != length) {
        return HttpGetResult::Failed;  // the connection closed early
    }
    return HttpGetResult::Done;
}
