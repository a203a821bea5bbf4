// One web address fetched into a local file, with every wait bounded and the size capped.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

struct DownloadLimits {
    size_t maxBytes;  // a longer answer fails (nothing past this is kept)
    DWORD timeout;    // per connect, send and receive, in ms
    DWORD deadline;   // for the whole fetch, in ms
};

enum class DownloadResult {
    Done,
    BadAddress,  // not an http or https address with a host
    Failed,      // no connection, no answer, or an answer cut short
    NotFound,    // an answer other than 200 OK (its body is an error page, not the file)
    TooLarge,    // longer than maxBytes, by its announced length or by what came
    TimedOut,    // the deadline passed
    FileError,   // the local file could not be written
};

// Fetches `address` over http or https into `path` (created or truncated). Time-outs are set
// on the request itself, and the body is read piece by piece against the deadline, so a
// silent or trickling server cannot hold the caller longer than the deadline (plus one
// time-out). On any result but Done the file's content is undefined; the caller deletes it.
DownloadResult DownloadToFile(const std::string& address, const std::string& path,
                              const DownloadLimits& limits);
