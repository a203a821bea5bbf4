// glazehost's command line.
#pragma once

#include "host/Descriptor.h"

#include <string>
#include <vector>

namespace vg::host {

struct HostCommandLine {
    std::string plugin;  // empty: VarenGlaze2.8bf beside glazehost.exe
    std::string input, output;
    CDescriptor sets;  // --set KEY=VALUE, in order
    std::string descriptorFile;
    std::string recordFile;
    bool dialog = false;
    int runs = 1;
    bool noBigDocument = false, noPica = false, noDescriptors = false;
    int recordSize = 608;
    bool about = false;
    bool quiet = false;
    int cancelAfter = 0;
    bool help = false;
};

// Parses the arguments after the program name. false with a message on a bad option or value.
bool ParseCommandLine(const std::vector<std::string>& args, HostCommandLine* out,
                      std::string* error);

std::string Usage();

}  // namespace vg::host
