// Trace writers: each line is self-contained (check the switch, find the file, open, write,
// close), so nothing is held between lines.
#include "plugin/TraceLog.h"

#include <cstdio>

namespace {

// Opens the trace file in `mode` when tracing is on; null otherwise.
std::FILE* OpenTrace(const char* mode) {
    if (!TraceEnabled())
        return nullptr;
    std::string path;
    if (!TraceFilePath(path))
        return nullptr;
    return std::fopen(path.c_str(), mode);
}

const char* Safe(const char* s) {
    return s ? s : "";
}

}  // namespace

void StartTraceFile(const char* label) {
    if (std::FILE* f = OpenTrace("w")) {
        std::fprintf(f, "%s new session\n", Safe(label));
        std::fclose(f);
    }
}

void WriteTrace(const char* label, int32_t value) {
    if (std::FILE* f = OpenTrace("a+")) {
        std::fprintf(f, "%s - %d\n", Safe(label), int(value));
        std::fclose(f);
    }
}

void WriteTrace(const char* label, const char* text) {
    if (std::FILE* f = OpenTrace("a+")) {
        std::fprintf(f, "%s - %s\n", Safe(label), Safe(text));
        std::fclose(f);
    }
}

void WriteTrace(const char* label, const std::string& text) {
    WriteTrace(label, text.c_str());
}

void WriteTrace(const char* label, const void* pointer) {
    if (std::FILE* f = OpenTrace("a+")) {
        std::fprintf(f, "%s - %p\n", Safe(label), pointer);
        std::fclose(f);
    }
}

void WriteTrace(const char* label, double value) {
    if (std::FILE* f = OpenTrace("a+")) {
        std::fprintf(f, "%s - %e\n", Safe(label), value);
        std::fclose(f);
    }
}
