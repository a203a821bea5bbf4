// glazehost.exe: filters a PNG or TIFF image with a filter plug-in from the command line.
#include "host/CommandLine.h"
#include "host/FilterHost.h"
#include "host/ImageFile.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace vg::host;

namespace {

std::string BesideExe(const char* name) {
    char buf[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    std::string path(buf, n);
    size_t slash = path.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + name;
}

bool ReadText(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *text = ss.str();
    return !in.bad();
}

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "glazehost: %s\n", message.c_str());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HostCommandLine cmd;
    std::string error;
    if (!ParseCommandLine(args, &cmd, &error)) {
        std::fprintf(stderr, "glazehost: %s\n%s", error.c_str(), Usage().c_str());
        return 2;
    }
    if (cmd.help) {
        std::printf("%s", Usage().c_str());
        return 0;
    }
    // The plug-in's dialogs and folder browsers want a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    HostOptions options;
    options.recordSize = cmd.recordSize;
    options.bigDocument = !cmd.noBigDocument;
    options.pica = !cmd.noPica;
    options.descriptors = !cmd.noDescriptors;
    options.consoleProgress = !cmd.quiet;
    options.consoleCancel = true;
    options.cancelAfterAbortCalls = cmd.cancelAfter;
    CFilterHost host(options);
    std::string plugin = cmd.plugin.empty() ? BesideExe("VarenGlaze2.8bf") : cmd.plugin;
    if (!host.Load(plugin, &error))
        return Fail(error, 2);
    if (cmd.about) {
        RunResult r = host.About();
        return r.ok() ? 0 : Fail(DescribeResult(r), 1);
    }

    RunOptions run;
    run.showDialog = cmd.dialog;
    if (!cmd.descriptorFile.empty()) {
        std::string text;
        if (!ReadText(cmd.descriptorFile, &text))
            return Fail("cannot read descriptor file " + cmd.descriptorFile + ".", 2);
        if (!CDescriptor::FromText(text, &run.replayDescriptor, &error))
            return Fail("descriptor file " + cmd.descriptorFile + ", " + error + ".", 2);
        run.replay = true;
    }
    for (const auto& item : cmd.sets.items) {
        run.replayDescriptor.SetFloat(item.key, item.number);
        run.replay = true;
    }

    CHostImage image;
    if (!ReadImageFile(cmd.input, &image, &error))
        return Fail(error, 2);
    if (!host.Accepts(image, &error))
        return Fail("cannot filter " + cmd.input + ": " + error + ".", 2);
    if (FormatFromPath(cmd.output) == ImageFormat::Unknown)
        return Fail("cannot write " + cmd.output + ": use a .png, .tif or .tiff file name.", 2);
    // Found out before filtering, not after.
    const size_t slash = cmd.output.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 &&
        GetFileAttributesA(cmd.output.substr(0, slash).c_str()) == INVALID_FILE_ATTRIBUTES)
        return Fail("cannot write " + cmd.output + ": its folder does not exist.", 2);

    RunResult last;
    for (int i = 0; i < cmd.runs; ++i) {
        last = host.Run(image, run);
        if (!last.ok())
            return Fail(DescribeResult(last), 1);
        run.replay = false;  // later runs repeat the last filter with what it recorded
    }
    if (!WriteImageFile(cmd.output, image, &error))
        return Fail(error, 2);
    if (!cmd.recordFile.empty()) {
        if (!last.descriptorReturned)
            std::fprintf(stderr, "glazehost: the plug-in returned no descriptor; %s is empty\n",
                         cmd.recordFile.c_str());
        std::ofstream out(cmd.recordFile, std::ios::binary | std::ios::trunc);
        out << last.recorded.ToText();
        if (!out)
            return Fail("cannot write " + cmd.recordFile + ".", 2);
    }
    if (!cmd.quiet)
        std::printf("%s: %dx%d, %d bits, filtered with %s\n", cmd.output.c_str(), image.Width(),
                    image.Height(), image.Depth(), host.Info().name.c_str());
    return 0;
}
