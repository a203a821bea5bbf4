// glazehost's options.
#include "host/CommandLine.h"

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
    return "usage: glazehost [options] INPUT OUTPUT\n"
           "Runs a filter plug-in on a PNG or TIFF image (8 or 16 bits per channel) and writes\n"
           "the result with the same depth.\n"
           "  --plugin PATH        plug-in to run (default: VarenGlaze2.8bf beside glazehost.exe)\n"
           "  --set KEY=VALUE      replay a number under a four-character key (repeatable)\n"
           "  --descriptor FILE    replay the descriptor in FILE (lines: KEY TYPE VALUE)\n"
           "  --record FILE        write the descriptor the plug-in returns to FILE\n"
           "  --dialog             let the plug-in show its dialog\n"
           "  --runs N             filter N times in one load (1..1000)\n"
           "  --no-bigdoc          offer no big-document coordinates\n"
           "  --no-pica            offer no PICA suites\n"
           "  --no-descriptors     offer no scripting descriptors\n"
           "  --record-size N      filter record size: 552, 556, 576 or 608 (default)\n"
           "  --cancel-after N     report a cancel from the N-th abort check\n"
           "  --about              show the plug-in's About box and exit\n"
           "  --quiet              no progress bar\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, HostCommandLine* out,
                      std::string* error) {
    HostCommandLine c;
    std::vector<std::string> positional;
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
    if (!c.about && positional.size() != 2) {
        *error = "give an input and an output image";
        return false;
    }
    if (c.about && !positional.empty()) {
        *error = "--about takes no images";
        return false;
    }
    if (!c.about) {
        c.input = positional[0];
        c.output = positional[1];
    }
    *out = c;
    return true;
}

}  // namespace vg::host
