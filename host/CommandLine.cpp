// glazehost's options.
#include "host/CommandLine.h"

#include "host/BatchPlan.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vg::host {
namespace {

bool ToInt(const std::string& s, int lo, int hi, int* v) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long x = std::strtoll(s.c_str(), &end, 10);
    if (*end != 0 || errno == ERANGE || x < lo || x > hi)
        return false;
    *v = int(x);
    return true;
}

}  // namespace

std::string Usage() {
    return "usage: glazehost [options] INPUT... -o FOLDER\n"
           "       glazehost [options] INPUT OUTPUT\n"
           "Runs a filter plug-in on PNG, TIFF (8 or 16 bits per channel) and JPEG images. With\n"
           "-o, every INPUT (a file, a folder or a wildcard such as shoot\\*.jpg) is filtered\n"
           "into FOLDER; otherwise the one INPUT is written to OUTPUT. Camera metadata (EXIF,\n"
           "XMP, IPTC) and colour profiles are kept where the output format holds them.\n"
           "  -o FOLDER            write the outputs into FOLDER (created if missing)\n"
           "  --name PATTERN       output names: {stem} input name without extension, {ext}\n"
           "                       the output's extension, {n} number in the batch\n"
           "                       (default {stem}-glazed.{ext})\n"
           "  --format FMT         jpeg, png or tiff (default: the name's or the input's)\n"
           "  --quality N          JPEG quality 1..100 (default 92)\n"
           "  --overwrite          replace existing outputs (never an input)\n"
           "  --recursive          take the images in sub-folders of folder inputs too\n"
           "  --strip              drop metadata and colour profiles\n"
           "  --preset NAME|FILE   apply a preset by its name, or the first of a .vpp file\n"
           "  --preset-dir DIR     where named presets are (default: the installation's\n"
           "                       Presets folder, else the one beside the plug-in)\n"
           "  --plugin PATH        plug-in to run (default: VarenGlaze2.8bf beside glazehost.exe)\n"
           "  --set KEY=VALUE      replay a number under a four-character key (repeatable)\n"
           "  --descriptor FILE    replay the descriptor in FILE (lines: KEY TYPE VALUE)\n"
           "  --record FILE        write the descriptor the plug-in returns to FILE\n"
           "  --dialog             let the plug-in show its dialog (and its message boxes)\n"
           "  --runs N             filter each image N times in one load (1..1000)\n"
           "  --no-bigdoc          offer no big-document coordinates\n"
           "  --no-pica            offer no PICA suites\n"
           "  --no-descriptors     offer no scripting descriptors\n"
           "  --no-sampling        deliver every pixel (no sampled requests)\n"
           "  --no-persistence     keep no plug-in data between runs (Parameters every run)\n"
           "  --record-size N      filter record size: 552, 556, 576 or 608 (default)\n"
           "  --cancel-after N     report a cancel from the N-th abort check\n"
           "  --about              show the plug-in's About box and exit\n"
           "  --quiet              no progress\n"
           "  --times              say how long reading, filtering and writing each image took,\n"
           "                       and the processor time of reading and writing\n"
           "Exit code: 0 when every image was written, 1 to 100 the number of images that\n"
           "failed (100 or more), 101 when nothing could be tried.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, HostCommandLine* out,
                      std::string* error) {
    HostCommandLine c;
    std::vector<std::string> positional;
    bool nameGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h" || a == "/?") {
            c.help = true;
        } else if (a == "--plugin") {
            if (!value(&c.plugin))
                return false;
        } else if (a == "-o" || a == "--output") {
            if (!value(&c.outputFolder))
                return false;
            if (c.outputFolder.empty()) {
                *error = a + " needs a folder";
                return false;
            }
        } else if (a == "--name") {
            if (!value(&c.namePattern))
                return false;
            if (!CheckNamePattern(c.namePattern, error))
                return false;
            nameGiven = true;
        } else if (a == "--format") {
            if (!value(&v))
                return false;
            c.format = FormatFromName(v);
            if (c.format == ImageFormat::Unknown) {
                *error = "--format wants jpeg, png or tiff, not '" + v + "'";
                return false;
            }
        } else if (a == "--quality") {
            if (!value(&v) || !ToInt(v, 1, 100, &c.quality)) {
                *error = "--quality wants a number from 1 to 100";
                return false;
            }
        } else if (a == "--overwrite") {
            c.overwrite = true;
        } else if (a == "--recursive" || a == "-r") {
            c.recursive = true;
        } else if (a == "--strip") {
            c.strip = true;
        } else if (a == "--preset") {
            if (!value(&c.preset))
                return false;
            if (c.preset.empty()) {
                *error = "--preset needs a name or a .vpp file";
                return false;
            }
        } else if (a == "--preset-dir") {
            if (!value(&c.presetDir))
                return false;
        } else if (a == "--set") {
            if (!value(&v))
                return false;
            size_t eq = v.find('=');
            uint32_t key = 0;
            if (eq == std::string::npos || !ParseFourCC(v.substr(0, eq), &key)) {
                *error = "--set wants KEY=VALUE with a four-character key, not '" + v + "'";
                return false;
            }
            std::string num = v.substr(eq + 1);
            errno = 0;
            char* end = nullptr;
            double d = std::strtod(num.c_str(), &end);
            if (num.empty() || *end != 0 || errno == ERANGE || !std::isfinite(d)) {
                *error = "--set " + v.substr(0, eq) + ": '" + num + "' is not a number";
                return false;
            }
            c.sets.SetFloat(key, d);
        } else if (a == "--descriptor") {
            if (!value(&c.descriptorFile))
                return false;
        } else if (a == "--record") {
            if (!value(&c.recordFile))
                return false;
        } else if (a == "--dialog") {
            c.dialog = true;
        } else if (a == "--runs") {
            if (!value(&v) || !ToInt(v, 1, 1000, &c.runs)) {
                *error = "--runs wants a number from 1 to 1000";
                return false;
            }
        } else if (a == "--no-bigdoc") {
            c.noBigDocument = true;
        } else if (a == "--no-pica") {
            c.noPica = true;
        } else if (a == "--no-descriptors") {
            c.noDescriptors = true;
        } else if (a == "--no-sampling") {
            c.noSampling = true;
        } else if (a == "--no-persistence") {
            c.noPersistence = true;
        } else if (a == "--record-size") {
            if (!value(&v) || !ToInt(v, 0, 100000, &c.recordSize) ||
                (c.recordSize != 552 && c.recordSize != 556 && c.recordSize != 576 &&
                 c.recordSize != 608)) {
                *error = "--record-size wants 552, 556, 576 or 608";
                return false;
            }
        } else if (a == "--cancel-after") {
            if (!value(&v) || !ToInt(v, 1, 1 << 30, &c.cancelAfter)) {
                *error = "--cancel-after wants a positive number";
                return false;
            }
        } else if (a == "--about") {
            c.about = true;
        } else if (a == "--quiet" || a == "-q") {
            c.quiet = true;
        } else if (a == "--times") {
            c.times = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            *error = "unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (c.help) {
        *out = c;
        return true;
    }
    if (c.about) {
        if (!positional.empty() || c.Batch()) {
            *error = "--about takes no images";
            return false;
        }
        *out = c;
        return true;
    }
    if (c.Batch()) {
        if (positional.empty()) {
            *error = "give the images to filter before or after -o FOLDER";
            return false;
        }
        c.inputs = positional;
    } else {
        if (positional.size() != 2) {
            *error = "give an input and an output image, or images and -o FOLDER";
            return false;
        }
        if (nameGiven) {
            *error = "--name goes with -o FOLDER";
            return false;
        }
        c.inputs = {positional[0]};
        c.output = positional[1];
    }
    *out = c;
    return true;
}

void ApplyHostSwitches(const HostCommandLine& c, HostOptions* host, RunOptions* run) {
    host->recordSize = c.recordSize;
    host->bigDocument = !c.noBigDocument;
    host->pica = !c.noPica;
    host->descriptors = !c.noDescriptors;
    if (c.noSampling)
        host->samplingSupport = ps::hostDoesNotSupportSampling;
    host->persistData = !c.noPersistence;
    run->parameters = c.noPersistence ? ParametersCall::Always : ParametersCall::WithDialog;
}

}  // namespace vg::host
