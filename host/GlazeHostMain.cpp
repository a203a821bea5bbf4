// glazehost.exe: filters PNG, TIFF and JPEG images with a filter plug-in from the command line.
#include "host/CommandLine.h"
#include "host/GlazeHostWin.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

using namespace vg::host;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HostCommandLine cmd;
    std::string error;
    if (!ParseCommandLine(args, &cmd, &error)) {
        std::fprintf(stderr, "glazehost: %s\n%s", error.c_str(), Usage().c_str());
        return kExitSetup;
    }
    if (cmd.help) {
        std::printf("%s", Usage().c_str());
        return 0;
    }
    // The plug-in's dialogs and folder browsers want a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return CGlazeHost(std::move(cmd)).Run();
}
