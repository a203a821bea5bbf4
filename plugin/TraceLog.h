// The diagnostic trace log: one line per step to "vwtrace.txt" in the user's documents
// folder, written only while the environment variable VWTRACE is defined.
#pragma once

#include <cstdint>
#include <string>

// Truncates the trace file and writes "<label> new session".
void StartTraceFile(const char* label);

// Append "<label> - <value>" as one line. The switch is tested again before every line; a
// line that cannot be written is lost silently.
void WriteTrace(const char* label, int32_t value);
void WriteTrace(const char* label, const char* text);
void WriteTrace(const char* label, const std::string& text);
void WriteTrace(const char* label, const void* pointer);
void WriteTrace(const char* label, double value);

// Platform parts: whether VWTRACE is defined (an empty value counts), and the full path of
// the trace file (false when the documents folder cannot be found).
bool TraceEnabled();
bool TraceFilePath(std::string& path);
