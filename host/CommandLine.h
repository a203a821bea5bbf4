// glazehost's command line.
#pragma once

#include "host/Descriptor.h"
#include "host/FilterHost.h"
#include "host/ImageFile.h"

#include <string>
#include <vector>

namespace vg::host {

struct HostCommandLine {
    std::string plugin;               // empty: VarenGlaze2.8bf beside glazehost.exe
    std::vector<std::string> inputs;  // files, folders and wildcards
    std::string output;               // the one output file of "glazehost INPUT OUTPUT"; else empty
    std::string outputFolder;         // -o: the batch's output folder
    std::string namePattern = "{stem}-glazed.{ext}";
    ImageFormat format = ImageFormat::Unknown;  // --format; Unknown: from the name or input
    int quality = 92;                           // JPEG quality, 1..100
    bool overwrite = false;
    bool recursive = false;
    bool strip = false;  // drop camera metadata and colour profiles
    std::string preset;  // a preset's name, or a .vpp file
    std::string presetDir;
    CDescriptor sets;  // --set KEY=VALUE, in order
    std::string descriptorFile;
    std::string recordFile;
    bool dialog = false;
    int runs = 1;
    bool noBigDocument = false, noPica = false, noDescriptors = false;
    bool noSampling = false;     // --no-sampling: the host delivers every pixel
    bool noPersistence = false;  // --no-persistence: nothing kept between runs
    int recordSize = 608;
    bool about = false;
    bool quiet = false;
    bool times = false;  // each image's line says how long reading, filtering and writing took
    int cancelAfter = 0;
    bool help = false;

    // A batch writes its outputs into a folder by a name pattern; otherwise the one input is
    // written to the one output named.
    bool Batch() const { return !outputFolder.empty(); }
};

// Exit codes: 0 when every file was written, 1 to kExitMostFailed the number of files that
// failed (kExitMostFailed or more), kExitSetup when nothing could be tried.
constexpr int kExitMostFailed = 100;
constexpr int kExitSetup = 101;

// Parses the arguments after the program name. false with a message on a bad option or value.
bool ParseCommandLine(const std::vector<std::string>& args, HostCommandLine* out,
                      std::string* error);

std::string Usage();

// The less complete host the switches ask for: what the host offers, and how a run is sent
// (a host that keeps nothing sends the Parameters selector before every run).
void ApplyHostSwitches(const HostCommandLine& c, HostOptions* host, RunOptions* run);

}  // namespace vg::host
