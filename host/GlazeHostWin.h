// glazehost as a whole: the plug-in loaded once, the look to replay (a preset, a descriptor
// file, --set values) and the images of the command line filtered one by one, each read
// and written with its metadata.
#pragma once

#include "host/BatchPlan.h"
#include "host/CommandLine.h"
#include "host/FilterHost.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vg::host {

// Owns the host and the counts of a batch. Output lines go to stdout, errors to stderr.
class CGlazeHost {
public:
    explicit CGlazeHost(HostCommandLine command);

    // Runs the command line; returns the exit code (see CommandLine.h).
    int Run();

private:
    struct Look {
        CDescriptor descriptor;
        std::string preset;  // the preset's name, when one was given
    };

    bool LoadPlugin(std::string* error);
    bool MakeLook(std::string* error);
    bool ReadPreset(std::string* error);
    std::string PresetFolder() const;
    std::vector<BatchItem> PlanBatch(std::string* error);
    // Filters one image; false when it was not written.
    bool FilterOne(const BatchItem& item, size_t index, size_t count);
    void Fail(const std::string& label, const std::string& message);
    std::string Label(const BatchItem& item, size_t index, size_t count) const;
    int ExitCode(int notWritten) const;

    HostCommandLine m_cmd;
    std::string m_pluginPath;
    std::unique_ptr<CFilterHost> m_host;
    Look m_look;
    bool m_replay = false;
    RunResult m_last;
    int m_written = 0;
    int m_failed = 0;
    double m_megapixels = 0;
    bool m_cancelled = false;
    bool m_stop = false;  // the look cannot be replayed: no point in going on
};

}  // namespace vg::host
