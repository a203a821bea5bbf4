// One bounded HTTP(S) GET: every wait has a time-out, the whole request a deadline, and the
// body goes piece by piece to the caller, who decides how much of it to take.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

struct HttpGetOptions {
    const char* agent;  // the User-Agent header
    DWORD flags;        // HttpOpenRequest flags; INTERNET_FLAG_SECURE is added for https
    DWORD timeout;      // per connect, send and receive, in ms
    DWORD deadline;     // for the whole request, in ms
};

enum class HttpGetResult {
    Done,        // the body was read to its end, or until the caller had enough
    BadAddress,  // not an http or https address with a host
    Failed,      // no connection, no answer, or an answer cut short
    NotOk,       // an answer other than 200 OK (its body is an error page)
    TimedOut,    // the deadline passed
    Stopped,     // the caller refused the announced length or a piece of the body
};

// What the caller does with a piece of the body.
enum class HttpBodyStep { More, Enough, Stop };

struct HttpBodySink {
    // Called once before the body, with the announced length if there is one; false = Stopped.
    std::function<bool(bool announced, unsigned long long length)> length;
    // Called for each piece; Enough ends the request as Done, Stop as Stopped.
    std::function<HttpBodyStep(const char* data, size_t size)> piece;
};

// Fetches `address` and hands its body to `sink`. A body shorter than its announced length
// (the connection closed early) is Failed. A silent or trickling server cannot hold the caller
// longer than the deadline plus one time-out.
HttpGetResult HttpGet(const char* address, const HttpGetOptions& options, const HttpBodySink& sink);
