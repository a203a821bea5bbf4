// The compatibility table of the README, observed: the plug-in with the real engine in every
// less complete host glazehost can act as (its switches, turned into the host as glazehost
// does it), used both ways (the dialog driven as a user
// would, then an action replayed), at 8 and 16 bits. Each cell's behaviour is put into the
// README's words and compared with the table there; VG_WRITE_README=1 rewrites the table.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "host/CommandLine.h"
#include "resource.h"

using namespace vg::host;

namespace {

const char kTableBegin[] = "<!-- compatibility: begin -->";
const char kTableEnd[] = "<!-- compatibility: end -->";

struct HostMode {
    const char* name;                   // the table's first column
    std::vector<std::string> switches;  // glazehost's switches for this host
};

const std::vector<HostMode> kModes = {
    {"Complete (608-byte record: Photoshop CC 2017 and later)", {}},
    {"576-byte record (Photoshop CS6)", {"--record-size", "576"}},
    {"556-byte record", {"--record-size", "556"}},
    {"552-byte record", {"--record-size", "552"}},
    {"No PICA (no buffer suite)", {"--no-pica"}},
    {"No descriptors (no scripting)", {"--no-descriptors"}},
    {"No big-document data", {"--no-bigdoc"}},
    {"No sampling", {"--no-sampling"}},
    {"No data persistence, Parameters selector on every run", {"--no-persistence"}},
};

// The host and run glazehost makes of a mode's switches.
void FromSwitches(const HostMode& mode, HostOptions* host, RunOptions* run) {
    std::vector<std::string> args = mode.switches;
    args.insert(args.end(), {"in.png", "out.png"});
    HostCommandLine c;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(args, &c, &error)) << error;
    ApplyHostSwitches(c, host, run);
}

// The table's first column: the host, and the switches that make glazehost act as it.
std::string ModeColumn(const HostMode& mode) {
    std::string switches;
    for (const std::string& s : mode.switches)
        switches += (switches.empty() ? "" : " ") + s;
    return std::string(mode.name) + (switches.empty() ? "" : " (`" + switches + "`)");
}

// The values of an action: only what the action holds is replayed.
CDescriptor ActionValues() {
    CDescriptor d;
    d.SetFloat(FourCC("CIT_"), 6);
    d.SetFloat(FourCC("ESP_"), 2);
    d.SetFloat(FourCC("TKT_"), 0.5);
    return d;
}

// The dialog's values: the defaults with clean strength 3.
CDescriptor DialogValues() {
    CDescriptor d;
    d.SetFloat(FourCC("CIT_"), 3);
    return d;
}

// The whole image filtered with the given values in a complete host, by a fresh load.
CHostImage Reference(const CHostImage& original, const CDescriptor* values) {
    CFilterHost host;
    std::string error;
    EXPECT_TRUE(host.Load(ModuleWithRealEngine(), &error)) << error;
    CHostImage image = original;
    RunOptions options;
    if (values) {
        options.replay = true;
        options.replayDescriptor = *values;
    }
    options.parameters = ParametersCall::Never;
    const RunResult r = host.Run(image, options);
    EXPECT_TRUE(r.ok()) << DescribeResult(r);
    return image;
}

struct References {
    CHostImage defaults, dialog, action;
};

// Which of the known results an image is.
std::string Which(const CHostImage& image, const References& refs, const CHostImage& original) {
    if (image == refs.action) return "action";
    if (image == refs.dialog) return "dialog";
    if (image == refs.defaults) return "defaults";
    if (image == original) return "unchanged";
    return "other";
}

// A cell in the README's words.
std::string InteractiveWords(bool opened, bool painted, bool fit, const RunResult& r,
                             const std::string& result) {
    if (!opened) return "no dialog: " + DescribeResult(r);
    std::string words = painted ? "preview" : "no preview";
    words += fit ? "" : " at 100 % and closer only (no Fit)";
    if (!r.ok()) return words + "; OK fails: " + DescribeResult(r);
    words += result == "dialog" ? "; OK filters with the dialog's values" : "; OK gives " + result;
    words += r.descriptorReturned ? ", which are recorded" : ", which cannot be recorded";
    return words;
}

// A replay that shows the dialog after all is answered with OK (the dialog's own loop runs
// this timer).
HWND g_reopened = nullptr;
void CALLBACK PressOkIfTheDialogOpens(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = ::FindWindowA("#32770", kDialogCaption);
    if (dialog && dialog != g_reopened && ::IsWindowVisible(dialog)) {
        g_reopened = dialog;
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
}

// A host that cannot tell the plug-in to stay quiet (no descriptor) gets the dialog again on a
// replay; the test then presses OK.
std::string ReplayWords(bool dialog, const RunResult& r, const std::string& result) {
    const std::string opened = dialog ? "the dialog opens (the host cannot ask for none); OK " : "";
    if (!r.ok()) return opened + "fails: " + DescribeResult(r);
    if (result == "action") return opened + "filters with the action's values";
    if (result == "dialog")
        return opened + "filters with the values of the last run (none can be passed)";
    if (result == "defaults") return opened + "filters with the default values";
    return opened + "gives " + result;
}

// One cell for both depths, or each depth's words when they differ.
std::string Cell(const std::map<int, std::string>& byDepth) {
    if (byDepth.at(8) == byDepth.at(16)) return byDepth.at(8);
    return "8-bit: " + byDepth.at(8) + "; 16-bit: " + byDepth.at(16);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Compatibility, EveryHostModeBothUsesAndDepthsAsTheReadmeTableSays) {
    ResetRegistry();
    std::map<std::string, std::map<int, std::string>> interactive, replayed, wide;
    std::map<int, References> refs, wideRefs;
    std::map<int, CHostImage> originals, wideOriginals;
    for (int depth : {8, 16}) {
        // Larger than the preview, so that Fit has something to do.
        originals[depth] = TestImage(900, 640, depth);
        const CDescriptor dialog = DialogValues(), action = ActionValues();
        refs[depth] = {Reference(originals[depth], nullptr),
                       Reference(originals[depth], &dialog), Reference(originals[depth], &action)};
        ASSERT_FALSE(refs[depth].dialog == refs[depth].defaults);
        ASSERT_FALSE(refs[depth].action == refs[depth].dialog);
        // Wider than the 16-bit coordinates of the older record reach.
        wideOriginals[depth] = TestImage(40000, 4, depth);
        wideRefs[depth] = {Reference(wideOriginals[depth], nullptr),
                           Reference(wideOriginals[depth], &dialog),
                           Reference(wideOriginals[depth], &action)};
    }

    for (const HostMode& mode : kModes) {
        for (int depth : {8, 16}) {
            SCOPED_TRACE(std::string(mode.name) + ", " + std::to_string(depth) + " bits");
            HostOptions options;
            RunOptions run;
            FromSwitches(mode, &options, &run);
            Painted painted;
            const HostOptions recording = Recording(&painted, nullptr);
            options.onDisplayPixels = recording.onDisplayPixels;
            CFilterHost host(options);
            std::string error;
            ASSERT_TRUE(host.Load(ModuleWithRealEngine(), &error)) << error;

            // Interactive: the filter chosen from the menu, clean strength typed, OK.
            CHostImage image = originals[depth];
            CDialogDriver d;
            bool opened = false, fit = false;
            d.Until([&] { return painted.calls > 0; }, "the first preview");
            d.Do([&] {
                opened = true;
                fit = d.Enabled(IDC_VG_ZOOM_FIT);
                d.Type(d.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT), "3");
            });
            d.Do([&] { d.Click(IDOK); });
            RunOptions first = run;
            first.showDialog = true;
            const RunResult r1 = d.Run(host, image, first);
            for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
            const std::string got1 = Which(image, refs[depth], originals[depth]);
            interactive[mode.name][depth] =
                InteractiveWords(opened, painted.calls > 0, fit, r1, got1);

            // Replayed: an action's values, without the dialog, in the same session.
            image = originals[depth];
            RunOptions second = run;
            second.replay = true;
            second.replayDescriptor = ActionValues();
            g_reopened = nullptr;
            const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &PressOkIfTheDialogOpens);
            const RunResult r2 = host.Run(image, second);
            ::KillTimer(nullptr, timer);
            replayed[mode.name][depth] = ReplayWords(g_reopened != nullptr, r2,
                                                     Which(image, refs[depth], originals[depth]));

            // The same action on an image 40000 pixels wide.
            image = wideOriginals[depth];
            g_reopened = nullptr;
            const UINT_PTR wideTimer = ::SetTimer(nullptr, 0, 50, &PressOkIfTheDialogOpens);
            const RunResult r3 = host.Run(image, second);
            ::KillTimer(nullptr, wideTimer);
            wide[mode.name][depth] =
                ReplayWords(g_reopened != nullptr, r3,
                            Which(image, wideRefs[depth], wideOriginals[depth]));
        }
    }

    std::string table =
        "| Host | Interactive (the dialog, then OK) | Replayed (an action) | "
        "Replayed, 40000 pixels wide |\n"
        "| --- | --- | --- | --- |\n";
    for (const HostMode& mode : kModes) {
        table += "| " + ModeColumn(mode) + " | " + Cell(interactive[mode.name]) + " | " +
                 Cell(replayed[mode.name]) + " | " + Cell(wide[mode.name]) + " |\n";
    }

    const std::string readmePath = std::string("Z:") + VG_SOURCE_DIR + "/README.md";
    std::string readme = ReadFile(readmePath);
    const size_t begin = readme.find(kTableBegin), end = readme.find(kTableEnd);
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const size_t from = begin + sizeof kTableBegin - 1;
    const std::string shown = readme.substr(from, end - from);
    if (std::getenv("VG_WRITE_README")) {
        readme.replace(from, end - from, "\n" + table);
        std::ofstream(readmePath, std::ios::binary) << readme;
    } else {
        EXPECT_EQ(shown, "\n" + table) << "the README's table differs from what the plug-in does";
    }
}
