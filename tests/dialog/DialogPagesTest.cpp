// The parameter pages: whole-value sliders, clamped typing, storing on drag end and focus loss
// only, each page its own three values; Reset Tab and Reset All, the snapshots, the lucky
// draws, and the accelerators while a page's number box has the focus.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <ctime>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "plugin/FilterParams.h"
#include "resource.h"

using namespace vg::host;

namespace {

EngineArgs Args() {
    return ReadEngine().last.args;
}
int EngineCalls() {
    return ReadEngine().last.calls;
}

// Selects a tab by clicking it.
void ClickTab(const CDialogDriver& d, int index) {
    HWND tabs = d.Item(IDC_VG_TABS);
    RECT item = {};
    ::SendMessageA(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(tabs, WM_LBUTTONUP, 0, at);
}

struct PageRun {
    CFilterHost host;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    PageRun() {
        ResetRegistry();
        std::string error;
        EXPECT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
        UntilSettledPreview(d, 2);
    }
    RunResult Go() {
        const RunResult r = d.Run(host, image, RunOptions{});
        for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
        return r;
    }
};

}  // namespace

TEST(DialogPages, SlidersEndOnWholeValuesAndValuesAreStoredOnlyOnDragEndOrFocusLoss) {
    PageRun t;
    CDialogDriver& d = t.d;
    int calls = 0;
    HWND slider = nullptr;
    POINT from{}, to{};
    d.Do([&] { ::SetFocus(d.PageItem(0, IDC_VG_CLEAN_STRENGTH_SLIDER)); });
    d.Do([&] {
        calls = EngineCalls();
        slider = d.PageItem(0, IDC_VG_CLEAN_STRENGTH_SLIDER);
        RECT thumb = {}, channel = {};
        ::SendMessageA(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        ::SendMessageA(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        from = {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
        // Between two whole strengths: about 37 of the slider's 80 positions.
        to = {channel.left + (channel.right - channel.left) * 37 / 80, from.y};
        ::PostMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
        ::PostMessageA(slider, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    });
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), calls);  // dragging alone stores nothing
        ::PostMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    });
    d.Do([&] {
        const std::string text = d.Text(d.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT));
        const int shown = std::atoi(text.c_str());
        EXPECT_GT(shown, 0) << text;
        EXPECT_EQ(text, std::string(5 - std::to_string(shown).size(), ' ') + std::to_string(shown));
        EXPECT_EQ(::SendMessageA(slider, TBM_GETPOS, 0, 0), shown * 10);  // on the whole value
        EXPECT_GT(EngineCalls(), calls);  // the drag's end (Wine's trackbar may end it twice)
        EXPECT_EQ(Args().cleanStrength, shown);
        calls = EngineCalls();
        // Typing beyond the range is clamped at once, but stored only when the box is left.
        d.Type(d.PageItem(0, IDC_VG_CLEAN_RADIUS_EDIT), "30");
    });
    d.Do([&] {
        EXPECT_EQ(d.Text(d.PageItem(0, IDC_VG_CLEAN_RADIUS_EDIT)), "   25");
        EXPECT_EQ(EngineCalls(), calls);
        EXPECT_EQ(Args().cleanRadius, 8.0f);
        ::SetFocus(d.PageItem(0, IDC_VG_CLEAN_THRESHOLD_EDIT));
    });
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), calls + 1);
        EXPECT_EQ(Args().cleanRadius, 25.0f);
        ClickTab(d, 1);
    });
    d.Do([&] {
        EXPECT_TRUE(::IsWindowVisible(d.Page(1)));
        d.Type(d.PageItem(1, IDC_VG_EDGE_RADIUS_EDIT), "3");
    });
    d.Do([&] { ::SetFocus(d.PageItem(1, IDC_VG_EDGE_ACCENT_EDIT)); });
    d.Do([&] {
        // The Edges page stored its own three values; the Clean values stayed.
        const EngineArgs a = Args();
        EXPECT_EQ(a.edgeRadius, 3.0f);
        EXPECT_EQ(a.edgeSharpness, 1.0f);
        EXPECT_EQ(a.cleanRadius, 25.0f);
        d.Click(IDOK);
    });
    const RunResult r = t.Go();
    ASSERT_TRUE(r.ok()) << DescribeResult(r);
    // The descriptor holds what the dialog showed.
    const DescriptorItem* radius = r.recorded.Find(FourCC("CRD_"));
    const DescriptorItem* edge = r.recorded.Find(FourCC("ERD_"));
    ASSERT_TRUE(radius && edge);
    EXPECT_EQ(radius->number, 25.0);
    EXPECT_EQ(edge->number, 3.0);
}

TEST(DialogPages, ResetSnapshotsAndLuckyDrawsChangeOnlyTheirParameters) {
    PageRun t;
    CDialogDriver& d = t.d;
    d.Do([&] {
        EXPECT_FALSE(d.Enabled(IDC_VG_RECALL1));
        d.Click(IDC_VG_RECALL1);  // before any snapshot: nothing
        ClickTab(d, 2);
    });
    d.Do([&] { d.Type(d.PageItem(2, IDC_VG_TEXTURE_SIZE_EDIT), "5"); });
    d.Do([&] { ::SetFocus(d.PageItem(2, IDC_VG_TEXTURE_BOOST_EDIT)); });
    d.Do([&] {
        EXPECT_EQ(Args().textureSize, 5.0f);
        d.Key('1', false, true);  // Alt+1: Snap1
    });
    d.Do([&] {
        EXPECT_TRUE(d.Enabled(IDC_VG_RECALL1));
        d.Click(IDC_VG_RESET_TAB);  // the Texture tab is selected
    });
    d.Do([&] {
        const EngineArgs a = Args();
        EXPECT_EQ(a.textureStrength, 0.0f);
        EXPECT_EQ(a.textureInvBoost, 1.0f);
        EXPECT_EQ(a.textureSize, 2.0f);
        EXPECT_EQ(d.Text(d.PageItem(2, IDC_VG_TEXTURE_SIZE_EDIT)), " 2.00");
        d.Key('1', true);  // Ctrl+1: Recall1
    });
    d.Do([&] {
        EXPECT_EQ(Args().textureSize, 5.0f);
        EXPECT_EQ(d.Text(d.PageItem(2, IDC_VG_TEXTURE_SIZE_EDIT)), " 5.00");
        ClickTab(d, 1);
    });
    EngineArgs before{};
    std::string first;
    time_t second = 0;
    d.Then(
        [&] {
            // Two draws within one second give the same values.
            before = Args();
            second = std::time(nullptr);
            ::PostMessageA(d.Dialog(), WM_COMMAND, ID_VG_LUCKY, 0);
            return true;
        },
        "lucky");
    d.Do([&] {
        first = d.Text(d.PageItem(1, IDC_VG_EDGE_RADIUS_EDIT)) + "|" +
                d.Text(d.PageItem(1, IDC_VG_EDGE_SHARPNESS_EDIT)) + "|" +
                d.Text(d.PageItem(1, IDC_VG_EDGE_ACCENT_EDIT));
        ::PostMessageA(d.Dialog(), WM_COMMAND, ID_VG_LUCKY, 0);
    });
    d.Do([&] {
        const std::string again = d.Text(d.PageItem(1, IDC_VG_EDGE_RADIUS_EDIT)) + "|" +
                                  d.Text(d.PageItem(1, IDC_VG_EDGE_SHARPNESS_EDIT)) + "|" +
                                  d.Text(d.PageItem(1, IDC_VG_EDGE_ACCENT_EDIT));
        if (std::time(nullptr) == second) {
            EXPECT_EQ(again, first);
        }
        // Only the Edges parameters were drawn.
        const EngineArgs a = Args();
        EXPECT_EQ(a.cleanStrength, before.cleanStrength);
        EXPECT_EQ(a.cleanRadius, before.cleanRadius);
        EXPECT_EQ(a.channelThresholds[0], before.channelThresholds[0]);
        EXPECT_EQ(a.textureSize, before.textureSize);
        EXPECT_EQ(a.textureInvBoost, before.textureInvBoost);
        EXPECT_TRUE(a.edgeRadius != before.edgeRadius || a.edgeSharpness != before.edgeSharpness);
        d.Click(IDC_VG_RESET_ALL);
    });
    d.Do([&] {
        const EngineArgs a = Args();
        EXPECT_EQ(a.edgeRadius, 1.5f);
        EXPECT_EQ(a.textureSize, 2.0f);
        EXPECT_EQ(a.cleanRadius, 8.0f);
        d.Click(IDCANCEL);
    });
    EXPECT_EQ(t.Go().result, -128);
}

TEST(DialogPages, AcceleratorsWorkWhileAPageBoxHasTheFocus) {
    PageRun t;
    CDialogDriver& d = t.d;
    HWND radius = nullptr;
    d.Do([&] {
        radius = d.PageItem(0, IDC_VG_CLEAN_RADIUS_EDIT);
        d.Type(radius, "12");
    });
    d.Do([&] {
        EXPECT_EQ(::GetFocus(), radius);
        d.Key(0xBB);  // "=": zoom in, the typed text stays
    });
    d.Do([&] {
        EXPECT_EQ(d.Text(IDC_VG_ZOOM_BOX), "200");
        EXPECT_EQ(d.Text(radius), "12");
        d.Key('2', false, true);  // Alt+2: Snap2
    });
    d.Do([&] {
        EXPECT_TRUE(d.Enabled(IDC_VG_RECALL2));
        d.Key('R', true);  // Ctrl+R: Reset Tab (Clean)
    });
    d.Do([&] {
        EXPECT_EQ(d.Text(radius), "    8");
        EXPECT_EQ(Args().cleanRadius, 8.0f);
        d.Key(0xBD, true);  // Ctrl+"-": zoom out
    });
    std::string about;
    d.Do([&] {
        EXPECT_EQ(d.Text(IDC_VG_ZOOM_BOX), "100");
        ::PostMessageA(d.Dialog(), WM_COMMAND, ID_VG_ABOUT, 0);  // as the menu sends it
    });
    d.AnswerMessageBox(&about);
    d.Do([&] {
        EXPECT_EQ(about.rfind("Varen Glaze 2  -  Version: 2.1.0\n\n", 0), 0u) << about;
        ::SetFocus(radius);
    });
    d.Do([&] {
        d.Key(VK_ESCAPE, false, false, radius);  // Escape in a page box leaves the dialog open
    });
    d.Do([&] {
        EXPECT_TRUE(::IsWindowVisible(d.Dialog()));
        d.Key(VK_RETURN, false, false, d.Item(IDOK));
    });
    EXPECT_TRUE(t.Go().ok());
}
