// glazehost as a whole: the plug-in loaded once, the look to replay (a preset, a descriptor
// file, --set values) and the images of the command line filtered one by one, each read
// and written with its metadata.
#pragma once

#include "host/BatchPlan.h"
#include "host/CommandLine.h"
#include "host/FilterHost.h"
#include "host/ImageMetadata.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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

    // One image on its way: read (on a worker thread), filtered (here), written (on a
    // worker thread). The error says why it was not written.
    struct Job {
        size_t index = 0;
        const BatchItem* item = nullptr;
        std::string label;
        CHostImage image;
        ImageMetadata metadata;
        std::vector<std::string> notes;
        std::vector<std::string> boxes;  // message boxes the plug-in showed, as answered
        std::string error;
        double readSeconds = 0, filterSeconds = 0, writeSeconds = 0;
        double readCpu = 0, writeCpu = 0;  // processor time of the reading and writing threads
    };

    bool LoadPlugin(std::string* error);
    bool MakeLook(std::string* error);
    bool ReadPreset(std::string* error);
    std::string PresetFolder() const;
    std::vector<BatchItem> PlanBatch(std::string* error);
    std::unique_ptr<Job> Read(const BatchItem& item, size_t index, size_t count) const;
    // Filters the job's image on this thread (plug-ins and their dialogs belong to it);
    // false with the job's error set when it failed.
    bool Filter(Job& job);
    void Write(Job& job) const;
    // Prints the job's line or its error, and counts it.
    void Report(const Job& job);
    void Fail(const std::string& label, const std::string& message) const;
    std::string Label(const BatchItem& item, size_t index, size_t count) const;
    int ExitCode(int notWritten) const;

    HostCommandLine m_cmd;
    std::string m_pluginPath;
    std::unique_ptr<CFilterHost> m_host;
    RunOptions m_runSwitches;  // how runs are sent in the host the switches ask for
    Look m_look;
    bool m_replay = false;
    RunResult m_last;
    int m_written = 0;
    int m_failed = 0;
    double m_megapixels = 0;
    double m_readCpu = 0, m_writeCpu = 0;  // of the images written
    bool m_cancelled = false;
    bool m_stop = false;  // the look cannot be replayed: no point in going on
};

}  // namespace vg::host
