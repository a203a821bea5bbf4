// The dialog's part in the run: OK filters the whole image with the values shown and records
// them, Cancel leaves the stored values alone, a failure inside the dialog reaches the host
// with its text and gives the host its window back, and the less complete hosts work.
#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "plugin/FilterParams.h"
#include "resource.h"

using namespace vg::host;

namespace {

double Recorded(const RunResult& r, const char (&key)[5]) {
    const DescriptorItem* item = r.recorded.Find(FourCC(key));
    return item ? item->number : -1;
}

}  // namespace

TEST(DialogRun, OkFiltersWithTheShownValuesAndCancelKeepsTheStoredOnes) {
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithRealEngine(), &error)) << error;
    const CHostImage original = TestImage(640, 480, 8);

    // OK: the whole image, filtered with what the dialog showed.
    CHostImage viaDialog = original;
    CDialogDriver ok;
    ok.Do([&] { ok.Type(ok.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT), "5"); });
    ok.Do([&] { ok.Click(IDOK); });
    const RunResult first = ok.Run(host, viaDialog, RunOptions{});
    ASSERT_TRUE(first.ok()) << DescribeResult(first);
    for (const std::string& failure : ok.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(Recorded(first, "CIT_"), 5.0);
    EXPECT_EQ(Recorded(first, "CRD_"), 8.0);

    CFilterHost replayHost;
    ASSERT_TRUE(replayHost.Load(ModuleWithRealEngine(), &error)) << error;
    CHostImage replayed = original;
    RunOptions replay;
    replay.replay = true;
    replay.replayDescriptor = first.recorded;
    replay.parameters = ParametersCall::Never;
    ASSERT_TRUE(replayHost.Run(replayed, replay).ok());
    EXPECT_TRUE(replayed == viaDialog) << "the dialog's result is the replay of its record";
    EXPECT_FALSE(replayed == original);

    // Cancel: -128, and the next dialog starts from the values stored before it.
    CHostImage untouched = original;
    CDialogDriver cancel;
    cancel.Do([&] {
        EXPECT_EQ(cancel.Text(cancel.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT)), "    5");
        cancel.Type(cancel.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT), "7");
    });
    cancel.Do([&] { ::SetFocus(cancel.PageItem(0, IDC_VG_CLEAN_RADIUS_EDIT)); });
    cancel.Do([&] { cancel.Click(IDCANCEL); });
    EXPECT_EQ(cancel.Run(host, untouched, RunOptions{}).result, -128);
    EXPECT_TRUE(untouched == original);
    CDialogDriver again;
    again.Do([&] {
        EXPECT_EQ(again.Text(again.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT)), "    5");
        again.Key(VK_ESCAPE, false, false, again.Dialog());
    });
    EXPECT_EQ(again.Run(host, untouched, RunOptions{}).result, -128);
    for (const std::string& failure : cancel.Failures()) ADD_FAILURE() << failure;
    for (const std::string& failure : again.Failures()) ADD_FAILURE() << failure;
}

TEST(DialogRun, AFailureInsideTheDialogReachesTheHostAndGivesItsWindowBack) {
    ResetRegistry();
    HWND hostWindow = ::CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                        300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hostWindow, nullptr);
    HostOptions options;
    options.parentWindow = reinterpret_cast<intptr_t>(hostWindow);
    CFilterHost host(options);
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(900, 600, 8);
    CDialogDriver d;
    std::string box;
    UntilSettledPreview(d, 2);
    d.Do([&] {
        EXPECT_FALSE(::IsWindowEnabled(hostWindow)) << "the host is disabled while the dialog runs";
        EXPECT_EQ(::GetWindow(d.Dialog(), GW_OWNER), hostWindow);
        ScriptEngine({-3, 0, 0, 1});  // the engine refuses its parameters
        d.Click(IDC_VG_ZOOM_IN);
    });
    d.AnswerMessageBox(&box);
    const RunResult r = d.Run(host, image, RunOptions{});
    EXPECT_EQ(r.result, -30904);
    EXPECT_EQ(r.errorText, "- procEngine: bad parameters");
    EXPECT_EQ(box, "procEngine: bad parameters");
    EXPECT_TRUE(::IsWindowEnabled(hostWindow));
    EXPECT_EQ(::FindWindowA("#32770", kDialogCaption), nullptr);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
    ::DestroyWindow(hostWindow);
}

TEST(DialogRun, LessCompleteHostsShowTheDialogAndFilter) {
    struct Case {
        const char* name;
        HostOptions options;
        ParametersCall parameters;
    };
    std::vector<Case> cases;
    HostOptions bare;
    bare.recordSize = ps::kFilterRecordSize552;
    bare.pica = false;
    bare.bigDocument = false;
    cases.push_back(
        {"552-byte record, no PICA, no big documents", bare, ParametersCall::WithDialog});
    HostOptions noDescriptors;
    noDescriptors.descriptors = false;
    cases.push_back({"no descriptors", noDescriptors, ParametersCall::WithDialog});
    HostOptions noSampling;
    noSampling.samplingSupport = ps::hostDoesNotSupportSampling;
    cases.push_back({"no sampling", noSampling, ParametersCall::WithDialog});
    HostOptions noDisplay;
    noDisplay.displayPixels = false;
    cases.push_back({"no displayPixels", noDisplay, ParametersCall::WithDialog});
    HostOptions forgetful;
    forgetful.persistData = false;
    forgetful.reliableHandleProcs = false;
    forgetful.descriptorProcs = false;
    cases.push_back({"no persistence, parameters on every run", forgetful, ParametersCall::Always});

    for (const Case& c : cases) {
        ResetRegistry();
        Painted painted;
        std::vector<AdvanceRequest> requests;
        HostOptions options = c.options;
        const HostOptions recording = Recording(&painted, &requests);
        options.onDisplayPixels = recording.onDisplayPixels;
        options.onAdvanceState = recording.onAdvanceState;
        CFilterHost host(options);
        std::string error;
        ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
        const CHostImage original = TestImage(1600, 1000, 8);
        for (int run = 0; run < 2; ++run) {
            CHostImage image = original;
            CDialogDriver d;
            UntilSettledPreview(d, 2);
            d.Do([&] {
                if (!c.options.samplingSupport) {
                    // Without sampling the preview cannot show less than every pixel.
                    EXPECT_FALSE(d.Enabled(IDC_VG_ZOOM_FIT)) << c.name;
                    EXPECT_FALSE(d.Enabled(IDC_VG_ZOOM_OUT)) << c.name;
                }
                if (!c.options.displayPixels) {
                    // The dialog paints the same picture itself.
                    EXPECT_EQ(painted.calls, 0);
                    const AdvanceRequest& r = requests.back();
                    HDC dc = ::GetDC(d.Item(IDC_VG_PREVIEW));
                    const COLORREF shown = ::GetPixel(dc, 10, 12);
                    ::ReleaseDC(d.Item(IDC_VG_PREVIEW), dc);
                    const int x = r.inRect.left + 10, y = r.inRect.top + 12;
                    EXPECT_EQ(shown,
                              RGB(255 - original.Sample(x, y, 0), 255 - original.Sample(x, y, 1),
                                  255 - original.Sample(x, y, 2)))
                        << c.name;
                } else {
                    EXPECT_GT(painted.calls, 0) << c.name;
                }
                d.Click(IDOK);
            });
            RunOptions runOptions;
            runOptions.parameters = c.parameters;
            const RunResult r = d.Run(host, image, runOptions);
            EXPECT_TRUE(r.ok()) << c.name << ": " << DescribeResult(r);
            EXPECT_EQ(image.Sample(5, 5, 0), 255 - original.Sample(5, 5, 0)) << c.name;
            for (const std::string& failure : d.Failures())
                ADD_FAILURE() << c.name << ": " << failure;
        }
    }
}

TEST(DialogRun, RegionsBeyond32767PixelsAreShownAtOneHundredPercent) {
    ResetRegistry();
    Painted painted;
    std::vector<AdvanceRequest> requests;
    CFilterHost host(Recording(&painted, &requests));
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(40000, 60, 8);
    const CHostImage original = image;
    CDialogDriver d;
    UntilSettledPreview(d, 2);
    d.Do([&] {
        // Drag the navigator's frame far to the right.
        const RECT nav = d.ClientRectOf(d.Item(IDC_VG_NAVIGATOR));
        const POINT start = d.PointIn(d.Item(IDC_VG_NAVIGATOR), nav.right / 2, nav.bottom / 2);
        d.MouseDown(start);
        d.MouseMove({start.x + nav.right / 2 - 1, start.y});
        d.MouseUp({start.x + nav.right / 2 - 1, start.y});
    });
    d.Do([&] {
        const AdvanceRequest& r = requests.back();
        EXPECT_TRUE(r.used32Bit);
        EXPECT_GT(r.inRect.left, 32767);
        EXPECT_EQ(r.inputRate, ps::kFixedOne);
        // The painted pixels are those of that region, filtered.
        EXPECT_EQ(painted.At(3, 9, 0),
                  255 - original.Sample(r.inRect.left + 9, r.inRect.top + 3, 0));
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(d.Run(host, image, RunOptions{}).result, -128);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}
