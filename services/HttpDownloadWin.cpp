// A bounded HTTP download into a file.
#include "HttpDownloadWin.h"

#include <wininet.h>

#include "Handle.h"
#include "HttpGetWin.h"

namespace {

constexpr char kAgent[] = "Varen Glaze 2 Preset Import";
// Always from the server, nothing kept in WinINet's cache, binary transfer.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_TRANSFER_BINARY |
                                INTERNET_FLAG_NO_UI;

}  // namespace

DownloadResult DownloadToFile(const std::string& address, const std::string& path,
                              const DownloadLimits& limits) {
    CFileHandle file;
    size_t total = 0;
    // Why the body was refused; the file is created only once a 200 answer has come.
    DownloadResult refusal = DownloadResult::Failed;
    HttpBodySink sink;
    sink.length = [&](bool announced, unsigned long long length) {
        if (announced && length > limits.maxBytes) {
            refusal = DownloadResult::TooLarge;
            return false;
        }
        file = CFileHandle(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            refusal = DownloadResult::FileError;
            return false;
        }
        return true;
    };
    sink.piece = [&](const char* data, size_t size) {
        total += size;
        if (total > limits.maxBytes) {
            refusal = DownloadResult::TooLarge;
            return HttpBodyStep::Stop;
        }
        DWORD written = 0;
        if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) ||
            written != size) {
            refusal = DownloadResult::FileError;
            return HttpBodyStep::Stop;
        }
        return HttpBodyStep::More;
    };
    const HttpGetOptions options = {kAgent, kRequestFlags, limits.timeout, limits.deadline};
    switch (HttpGet(address.c_str(), options, sink)) {
        case HttpGetResult::Done:
            return DownloadResult::Done;
        case HttpGetResult::BadAddress:
            return DownloadResult::BadAddress;
        case HttpGetResult::NotOk:
            return DownloadResult::NotFound;
        case HttpGetResult::TimedOut:
            return DownloadResult::TimedOut;
        case HttpGetResult::Stopped:
            return refusal;
        case HttpGetResult::Failed:
            break;
    }
    return DownloadResult::Failed;
}
