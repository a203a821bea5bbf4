// The popup help of the real filter dialog: balloons over the dialog's and the pages' controls,
// one at a time, after the rest delay, and none with popup help switched off. A screenshot of
// the balloon over a slider is written for a person to look at.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "resource.h"
#include "tests/toolkit/PngFile.h"

using namespace vg::host;

namespace {

// The tooltip windows of this thread that are showing.
std::vector<HWND> ShownTips() {
    std::vector<HWND> tips;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) {
            char name[32] = {};
            ::GetClassNameA(window, name, sizeof(name));
            if (std::string(name) == "CPPToolTip" && ::IsWindowVisible(window)) {
                reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&tips));
    return tips;
}

POINT Centre(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::vector<uint32_t> Pixels(HWND window, int& w, int& h) {
    RECT r;
    ::GetWindowRect(window, &r);
    w = r.right - r.left;
    h = r.bottom - r.top;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::GetWindowDC(window);
    HBITMAP dib = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(dc);
    HGDIOBJ old = ::SelectObject(memory, dib);
    ::BitBlt(memory, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> pixels(px, px + size_t(w) * h);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(dib);
    ::ReleaseDC(window, dc);
    return pixels;
}

// The dialog with the tip over it, on a plain desktop. The test display keeps no picture of
// the screen, so the tip's shadow was cast on black: its pixels (black, in the shadow's strip
// along the right and bottom edges) are drawn here as what is under them darkened by half.
void SaveDialogWithTip(HWND dialog, HWND tip, const std::string& path) {
    int dw = 0, dh = 0, tw = 0, th = 0;
    const std::vector<uint32_t> back = Pixels(dialog, dw, dh);
    const std::vector<uint32_t> front = Pixels(tip, tw, th);
    RECT d, t, all;
    ::GetWindowRect(dialog, &d);
    ::GetWindowRect(tip, &t);
    ::UnionRect(&all, &d, &t);
    ::InflateRect(&all, 8, 8);
    const int w = all.right - all.left;
    const int h = all.bottom - all.top;
    std::vector<uint32_t> canvas(size_t(w) * h, 0x3A6EA5);
    for (int y = 0; y < dh; ++y) {
        for (int x = 0; x < dw; ++x) {
            canvas[size_t(y + d.top - all.top) * w + (x + d.left - all.left)] =
                back[size_t(y) * dw + x];
        }
    }
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ::GetWindowRgn(tip, region);
    for (int y = 0; y < th; ++y) {
        for (int x = 0; x < tw; ++x) {
            if (!::PtInRegion(region, x, y)) {
                continue;
            }
            uint32_t& p = canvas[size_t(y + t.top - all.top) * w + (x + t.left - all.left)];
            const uint32_t q = front[size_t(y) * tw + x];
            const bool shadow = (q & 0xFFFFFF) == 0 && (x >= tw - 14 || y >= th - 14);
            p = shadow ? (p >> 1) & 0x7F7F7F : q;
        }
    }
    ::DeleteObject(region);
    EXPECT_TRUE(WritePng(path, w, h, canvas)) << path;
}

}  // namespace

TEST(DialogHelp, ControlsOfTheDialogAndItsPagesShowTheirBalloonsOneAtATime) {
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(640, 480, 8);
    CDialogDriver d;
    ULONGLONG start = 0;
    HWND dialogTip = nullptr;
    HWND pageTip = nullptr;
    bool twoAtOnce = false;
    // Rests the cursor on a control after a point with no help, and waits for one balloon.
    auto hover = [&](std::function<HWND()> control, const char* what, HWND* shown) {
        d.Do([&] {
            const POINT p = Centre(d.Item(IDC_VG_PERCENT));
            ::SetCursorPos(p.x, p.y);
        });
        d.Until([] { return ShownTips().empty(); }, "no balloon over the percent sign");
        d.Do([&, control] {
            const POINT p = Centre(control());
            ::SetCursorPos(p.x, p.y);
            start = ::GetTickCount64();
        });
        d.Until(
            [&] {
                const std::vector<HWND> tips = ShownTips();
                twoAtOnce = twoAtOnce || tips.size() > 1;
                return tips.size() == 1;
            },
            what);
        d.Do([&, shown] {
            EXPECT_GE(::GetTickCount64() - start, 700u) << "shown before the rest delay";
            const HWND tip = ShownTips()[0];
            EXPECT_TRUE(*shown == nullptr || *shown == tip) << "another tooltip";
            *shown = tip;
            // Beside the cursor: just below it, or just above it.
            POINT cursor;
            ::GetCursorPos(&cursor);
            RECT r;
            ::GetWindowRect(tip, &r);
            EXPECT_TRUE(r.left <= cursor.x && cursor.x < r.right);
            EXPECT_TRUE((r.top > cursor.y && r.top < cursor.y + 40) ||
                        (r.bottom <= cursor.y + 8 && r.bottom > cursor.y - 40));
        });
    };
    d.Until([] { return ReadEngine().last.calls >= 1; }, "the first filtered preview");
    hover([&] { return d.Item(IDC_VG_RESET_ALL); }, "the balloon of Reset All", &dialogTip);
    hover([&] { return d.PageItem(0, IDC_VG_CLEAN_RADIUS_SLIDER); },
          "the balloon of the Clean page's radius slider", &pageTip);
    d.Do([&] {
        EXPECT_NE(pageTip, dialogTip);  // the page's own tooltip
        SaveDialogWithTip(d.Dialog(), pageTip, OutputFolder() + "dialog-tooltip-over-slider.png");
    });
    hover([&] { return d.PageItem(0, IDC_VG_CLEAN_STRENGTH_EDIT); },
          "the balloon of the Clean page's strength box", &pageTip);
    // Straight from the page to a control of the dialog: the page's balloon goes (the page's
    // tooltip sees the move although it is not on the page) and the dialog's comes.
    d.Do([&] {
        const POINT p = Centre(d.Item(IDOK));
        ::SetCursorPos(p.x, p.y);
        start = ::GetTickCount64();
    });
    d.Until(
        [&] {
            const std::vector<HWND> tips = ShownTips();
            twoAtOnce = twoAtOnce || tips.size() > 1;
            return tips.size() == 1 && tips[0] == dialogTip;
        },
        "the balloon of OK in place of the page's");
    d.Do([&] { EXPECT_LT(::GetTickCount64() - start, 3000u); });
    d.Do([&] {
        EXPECT_FALSE(twoAtOnce);
        d.Click(IDCANCEL);
    });
    const RunResult r = d.Run(host, image, RunOptions{});
    EXPECT_EQ(r.result, -128);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(DialogHelp, WithPopupHelpOffNoControlShowsABalloon) {
    ResetRegistry();
    StorePreference("vwphelp", "0");
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(640, 480, 8);
    CDialogDriver d;
    bool shown = false;
    d.Until([] { return ReadEngine().last.calls >= 1; }, "the first filtered preview");
    for (auto control :
         {std::function<HWND()>([&] { return d.Item(IDC_VG_RESET_ALL); }),
          std::function<HWND()>([&] { return d.PageItem(0, IDC_VG_CLEAN_STRENGTH_SLIDER); })}) {
        d.Do([&, control] {
            const POINT p = Centre(control());
            ::SetCursorPos(p.x, p.y);
        });
        d.Sleep(1300);
        d.Do([&] { shown = shown || !ShownTips().empty(); });
    }
    d.Do([&] {
        EXPECT_FALSE(shown);
        d.Click(IDCANCEL);
    });
    const RunResult r = d.Run(host, image, RunOptions{});
    EXPECT_EQ(r.result, -128);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}
