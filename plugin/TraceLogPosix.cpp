// Trace switch and file location for the native build: the environment and
// $HOME/Documents.
#include "plugin/TraceLog.h"

#include <cstdlib>

bool TraceEnabled() {
    return std::getenv("VWTRACE") != nullptr;
}

bool TraceFilePath(std::string& path) {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return false;
    path = std::string(home) + "/Documents/vwtrace.txt";
    return true;
}
