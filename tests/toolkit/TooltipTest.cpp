// The tooltip in real windows: the demonstration dialog with the filter dialog's tooltip
// settings, driven by moving the cursor, through the dialog's message pre-translation. Also the
// painted background effects and the bitmap, and screenshots for a person to look at.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "BackgroundEffect.h"
#include "CeXDibWin.h"
#include "DemoDialog.h"
#include "DibSection.h"
#include "PPDrawManagerWin.h"
#include "PPToolTipWin.h"
#include "PngFile.h"
#include "ToolkitTestSupport.h"

// Every allocation of the program is counted, so that a test can show that a code path makes
// none.
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p) {
        ::HeapFree(::GetProcessHeap(), 0, p);
    }
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

constexpr COLORREF kDesktop = RGB(58, 110, 165);

// Pixels of a window as it is drawn now (0x00RRGGBB, top-down).
std::vector<uint32_t> CaptureWindow(HWND hWnd, int& w, int& h) {
    RECT r;
    ::GetWindowRect(hWnd, &r);
    w = r.right - r.left;
    h = r.bottom - r.top;
    CDibSection dib;
    if (!dib.Create(w, h, 32, true)) {
        return {};
    }
    HDC window = ::GetWindowDC(hWnd);
    HDC memory = ::CreateCompatibleDC(window);
    HGDIOBJ old = ::SelectObject(memory, dib.GetHandle());
    ::BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ::GdiFlush();
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(hWnd, window);
    const auto* px = reinterpret_cast<const uint32_t*>(dib.Bits());
    return std::vector<uint32_t>(px, px + static_cast<size_t>(w) * h);
}

// The screen behind the tip is the dialog on a plain desktop: the test display keeps no
// picture of the screen, so the tip is given one made from the dialog's own pixels.
class CBackdropTip : public CPPToolTip {
public:
    HWND m_backdrop = nullptr;

protected:
    void CaptureBehind(HDC target, const RECT& screen) override {
        const RECT all = {0, 0, screen.right - screen.left, screen.bottom - screen.top};
        HBRUSH desktop = ::CreateSolidBrush(kDesktop);
        ::FillRect(target, &all, desktop);
        ::DeleteObject(desktop);
        if (m_backdrop) {
            RECT d;
            ::GetWindowRect(m_backdrop, &d);
            HDC source = ::GetWindowDC(m_backdrop);
            ::BitBlt(target, d.left - screen.left, d.top - screen.top, d.right - d.left,
                     d.bottom - d.top, source, 0, 0, SRCCOPY);
            ::ReleaseDC(m_backdrop, source);
        }
    }
};

const char* const kStrengthText =
    "Overall strength of the effect. Affects both cleanness and edges.";
const char* const kThresholdText =
    "Features weaker than this value are removed.\nA higher value produces cleaner images.";

// The demonstration dialog with a tooltip set up as the filter dialog sets up its own.
class CTipDialog : public CDemoDialog {
public:
    CBackdropTip m_tip;

    BOOL OnInitDialog() override {
        CDemoDialog::OnInitDialog();
        m_tip.Create(this, TRUE);
        m_tip.SetEffect(effects::kSoftBump, 5);
        m_tip.SetColours(0xFFD5AA, 0xFFC68C, 0xFF9122);
        m_tip.SetDelay(tooltip::kShowTime, 10000);
        m_tip.SetDelay(tooltip::kFadeOutStep, 30);
        m_tip.SetDelay(tooltip::kRestTime, 750);
        m_tip.m_backdrop = m_hWnd;
        AddTools();
        return TRUE;
    }
    void AddTools() {
        m_tip.AddTool(m_page1.m_slider[0].m_hWnd, kStrengthText);   // tool 0
        m_tip.AddTool(m_page1.m_edit[0].m_hWnd, kStrengthText);     // tool 1
        m_tip.AddTool(m_page1.m_slider[1].m_hWnd, kThresholdText);  // tool 2
        m_tip.AddTool(m_page1.m_edit[1].m_hWnd, kThresholdText);    // tool 3
        m_tip.AddTool(m_menuButton.m_hWnd,
                      "<h2>Menu</h2><br><b>Preferences</b>, <i>updates</i> and "
                      "<font color=darkred>more</font>.<hr><table border=1 cellpadding=3 "
                      "bgcolor=#fff8dc><tr><td><u>Ctrl-1</u></td><td align=right>Recall "
                      "&amp; apply</td></tr></table>");  // tool 4
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        m_tip.RelayEvent(msg);
        return CDemoDialog::PreTranslateMessage(msg);
    }
};

POINT Centre(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class Tooltip : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(IDD_DEMO));
        dlg.SetWindowPos(nullptr, 120, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        dlg.ShowWindow(SW_SHOW);
        Pump(50);
    }
    // The dialog's modal loop: every message passes the pre-translation first.
    void Pump(DWORD ms) {
        const ULONGLONG end = ::GetTickCount64() + ms;
        do {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!AfxPreTranslateMessage(&msg, dlg.m_hWnd)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            }
            ::Sleep(2);
        } while (::GetTickCount64() < end);
    }
    // Pumps until `done` holds or `limit` ms pass; the time it took.
    template <class F>
    ULONGLONG PumpUntil(F done, DWORD limit) {
        const ULONGLONG start = ::GetTickCount64();
        while (!done() && ::GetTickCount64() - start < limit) {
            Pump(1);
        }
        return ::GetTickCount64() - start;
    }
    void MoveTo(POINT p) {
        ::SetCursorPos(p.x, p.y);
        Pump(20);
    }
    // A point of the dialog over no tool.
    POINT Nowhere() {
        RECT r;
        ::GetWindowRect(::GetDlgItem(dlg.m_hWnd, IDC_DEMO_LABEL), &r);
        return POINT{r.right + 4, r.bottom + 4};
    }
    void ShowOver(HWND control) {
        MoveTo(Nowhere());
        MoveTo(Centre(control));
        PumpUntil([&] { return dlg.m_tip.IsTipVisible(); }, 3000);
    }
    MSG Message(UINT message, POINT pt) {
        MSG m = {};
        m.hwnd = dlg.m_page1.m_slider[0].m_hWnd;
        m.message = message;
        m.pt = pt;
        return m;
    }
    bool WindowShown() { return ::IsWindowVisible(dlg.m_tip.m_hWnd) != FALSE; }

    CTipDialog dlg;
};

}  // namespace

TEST_F(Tooltip, ShowsAfterTheRestDelayAndFadesAfterTheShowTime) {
    MoveTo(Nowhere());
    MoveTo(Centre(dlg.m_page1.m_slider[0].m_hWnd));
    const ULONGLONG toShow = PumpUntil([&] { return dlg.m_tip.IsTipVisible(); }, 3000);
    ASSERT_TRUE(WindowShown());
    EXPECT_GE(toShow, 700u);
    EXPECT_LE(toShow, 1200u);
    EXPECT_EQ(dlg.m_tip.GetShownTool(), 0);
    EXPECT_EQ(dlg.m_tip.GetTransparency(), 0);

    bool faded = false;
    const ULONGLONG toHide = PumpUntil(
        [&] {
            const int t = dlg.m_tip.GetTransparency();
            faded = faded || (t > 0 && t < 100);
            return !dlg.m_tip.IsTipVisible();
        },
        13000);
    EXPECT_GE(toHide, 9900u);
    EXPECT_LE(toHide, 10900u);
    EXPECT_TRUE(faded);
    EXPECT_FALSE(WindowShown());
    // Resting on, the tip stays away.
    Pump(1000);
    EXPECT_FALSE(dlg.m_tip.IsTipVisible());
}

TEST_F(Tooltip, KeysClicksAndTheWheelHideAtOnce) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MOUSEWHEEL,
                         WM_NCLBUTTONDOWN, WM_LBUTTONDBLCLK}) {
        SCOPED_TRACE(message);
        ShowOver(dlg.m_page1.m_slider[0].m_hWnd);
        ASSERT_TRUE(WindowShown());
        const MSG m = Message(message, Centre(dlg.m_page1.m_slider[0].m_hWnd));
        dlg.m_tip.RelayEvent(&m);
        EXPECT_FALSE(WindowShown());
        EXPECT_FALSE(dlg.m_tip.IsTipVisible());
        // The tool stays quiet until the cursor leaves it.
        MoveTo(POINT{Centre(dlg.m_page1.m_slider[0].m_hWnd).x + 3,
                     Centre(dlg.m_page1.m_slider[0].m_hWnd).y});
        Pump(200);
        EXPECT_FALSE(dlg.m_tip.IsTipVisible());
    }
}

TEST_F(Tooltip, AnotherControlShowsItsOwnTipAfterTheFirstFades) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    ShowOver(dlg.m_page1.m_slider[0].m_hWnd);
    ASSERT_EQ(dlg.m_tip.GetShownTool(), 0);
    MoveTo(Centre(dlg.m_page1.m_edit[1].m_hWnd));
    PumpUntil([&] { return dlg.m_tip.IsTipVisible() && dlg.m_tip.GetShownTool() == 3; }, 3000);
    EXPECT_EQ(dlg.m_tip.GetShownTool(), 3);
    EXPECT_TRUE(WindowShown());
    // Off every tool: it goes.
    MoveTo(Nowhere());
    PumpUntil([&] { return !dlg.m_tip.IsTipVisible(); }, 1000);
    EXPECT_FALSE(WindowShown());
}

TEST_F(Tooltip, NearTheScreenEdgesThePointerMovesSoTheTipStaysOnScreen) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    const int screenW = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int screenH = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    HWND slider = dlg.m_page1.m_slider[1].m_hWnd;
    RECT d;
    RECT s;
    dlg.GetWindowRect(&d);
    ::GetWindowRect(slider, &s);
    struct Case {
        int sliderCentreX;
        int sliderBottom;  // where the slider's bottom goes on the screen
        bool above;
        bool pointerRight;
    };
    const Case cases[] = {
        {400, 300, false, false},
        {400, screenH - 4, true, false},          // bottom edge: opens above
        {screenW - 40, 300, false, true},         // right edge: extends to the left
        {screenW - 40, screenH - 4, true, true},  // the corner
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sliderCentreX << "," << c.sliderBottom);
        const int dx = c.sliderCentreX - (s.left + s.right) / 2;
        const int dy = c.sliderBottom - s.bottom;
        dlg.SetWindowPos(nullptr, d.left + dx, d.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Pump(30);
        ShowOver(slider);
        ASSERT_TRUE(dlg.m_tip.IsTipVisible());
        POINT cursor;
        ::GetCursorPos(&cursor);
        const RECT tip = dlg.m_tip.GetTipRect();
        const int edge = dlg.m_tip.GetDirection() & tooltip::kEdgeMask;
        EXPECT_EQ(edge == (tooltip::kBottomLeft & tooltip::kEdgeMask), c.above);
        EXPECT_EQ((dlg.m_tip.GetDirection() & tooltip::kPlaceMask) == 1, c.pointerRight);
        if (c.above) {
            EXPECT_LE(tip.bottom, cursor.y + 1);
        } else {
            EXPECT_GT(tip.top, cursor.y);
        }
        EXPECT_LE(tip.bottom, screenH);
        EXPECT_LE(tip.right, screenW);
        EXPECT_GE(tip.left, 0);
        ::GetWindowRect(slider, &s);
        dlg.GetWindowRect(&d);
        MoveTo(Nowhere());
        PumpUntil([&] { return !dlg.m_tip.IsTipVisible(); }, 1000);
    }
}

TEST_F(Tooltip, BalloonRegionWithItsShadowAndTheSoftBumpBackground) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    ShowOver(dlg.m_page1.m_slider[0].m_hWnd);
    ASSERT_TRUE(WindowShown());
    HWND tip = dlg.m_tip.m_hWnd;
    RECT window;
    ::GetWindowRect(tip, &window);
    const RECT balloon = dlg.m_tip.GetTipRect();
    EXPECT_EQ(window.right - balloon.right, 6);  // the shadow offset
    EXPECT_EQ(window.bottom - balloon.bottom, 6);
    ASSERT_EQ(dlg.m_tip.GetDirection(), tooltip::kTopLeft);

    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(tip, region), ERROR);
    const int bw = balloon.right - balloon.left;
    const int bh = balloon.bottom - balloon.top;
    const int ph = tooltip::kBalloonShape.pointerHeight;
    const int tipX = tooltip::kBalloonShape.pointerOffset;
    EXPECT_TRUE(::PtInRegion(region, bw / 2, (ph + bh) / 2));  // body
    EXPECT_TRUE(::PtInRegion(region, tipX, 1));                // the pointer
    EXPECT_FALSE(::PtInRegion(region, tipX + 10, 1));          // beside the pointer
    EXPECT_FALSE(::PtInRegion(region, bw - 1, ph));            // the rounded corner
    EXPECT_TRUE(::PtInRegion(region, bw + 3, bh + 3));         // the shadow
    EXPECT_FALSE(::PtInRegion(region, bw + 3, ph + 1));        // above the shadow's corner
    ::DeleteObject(region);

    // The window's pixels: the shadow darkens the dialog, the balloon is the blue texture.
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> shown = CaptureWindow(tip, w, h);
    ASSERT_EQ(w, window.right - window.left);
    int dw = 0;
    int dh = 0;
    const std::vector<uint32_t> behind = CaptureWindow(dlg.m_hWnd, dw, dh);
    RECT d;
    dlg.GetWindowRect(&d);
    const int sx = bw + 2;
    const int sy = bh / 2;
    const uint32_t under = behind[static_cast<size_t>(window.top + sy - d.top) * dw +
                                  static_cast<size_t>(window.left + sx - d.left)];
    const uint32_t shadow = shown[static_cast<size_t>(sy) * w + static_cast<size_t>(sx)];
    EXPECT_LT(shadow & 0xFF, (under & 0xFF) * 3 / 4) << std::hex << shadow << " " << under;
    const uint32_t inside = shown[static_cast<size_t>(ph + 4) * w + static_cast<size_t>(bw / 2)];
    EXPECT_GT(inside & 0xFF, (inside >> 16) & 0xFF);  // more blue than red
}

TEST_F(Tooltip, WithPopupHelpOffNothingShows) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    ShowOver(dlg.m_page1.m_slider[0].m_hWnd);
    ASSERT_TRUE(dlg.m_tip.IsTipVisible());
    dlg.m_tip.RemoveAllTools();
    EXPECT_FALSE(WindowShown());
    for (HWND control :
         {dlg.m_page1.m_slider[0].m_hWnd, dlg.m_page1.m_edit[1].m_hWnd, dlg.m_menuButton.m_hWnd}) {
        MoveTo(Nowhere());
        MoveTo(Centre(control));
        Pump(400);
        EXPECT_FALSE(dlg.m_tip.IsTipVisible());
    }
    dlg.AddTools();
    MoveTo(Nowhere());
    MoveTo(Centre(dlg.m_page1.m_edit[0].m_hWnd));
    PumpUntil([&] { return dlg.m_tip.IsTipVisible(); }, 2000);
    EXPECT_EQ(dlg.m_tip.GetShownTool(), 1);
}

TEST_F(Tooltip, MovesOverTheSameToolAllocateNothing) {
    HWND slider = dlg.m_page1.m_slider[0].m_hWnd;
    RECT r;
    ::GetWindowRect(slider, &r);
    MoveTo(Centre(slider));
    // Waiting for the rest delay, and after the tip has shown and hidden again.
    for (int round = 0; round < 2; ++round) {
        const long before = g_allocations;
        for (int i = 0; i < 200; ++i) {
            const MSG m = Message(WM_MOUSEMOVE, POINT{r.left + 2 + i % (r.right - r.left - 4),
                                                      (r.top + r.bottom) / 2});
            dlg.m_tip.RelayEvent(&m);
        }
        EXPECT_EQ(g_allocations - before, 0) << "round " << round;
        if (round == 0) {
            dlg.m_tip.SetDelay(tooltip::kRestTime, 50);
            MoveTo(POINT{r.left + 5, r.top + 3});
            PumpUntil([&] { return dlg.m_tip.IsTipVisible(); }, 2000);
            ASSERT_TRUE(dlg.m_tip.IsTipVisible());
        }
    }
}

TEST_F(Tooltip, ScreenshotsOfTipsOverTheDialog) {
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    const char* dir = std::getenv("VG_SCREENSHOT_DIR");
    const std::string base = dir ? dir : ".";
    struct Shot {
        HWND control;
        const char* file;
    };
    const Shot shots[] = {{dlg.m_page1.m_slider[1].m_hWnd, "/tooltip-over-slider.png"},
                          {dlg.m_menuButton.m_hWnd, "/tooltip-markup.png"}};
    for (const Shot& shot : shots) {
        ShowOver(shot.control);
        ASSERT_TRUE(WindowShown());
        Pump(50);
        // The dialog on the desktop colour, and the tip's window where its region is.
        RECT d;
        RECT t;
        dlg.GetWindowRect(&d);
        ::GetWindowRect(dlg.m_tip.m_hWnd, &t);
        RECT all;
        ::UnionRect(&all, &d, &t);
        ::InflateRect(&all, 10, 10);
        const int w = all.right - all.left;
        const int h = all.bottom - all.top;
        std::vector<uint32_t> canvas(static_cast<size_t>(w) * h, (GetRValue(kDesktop) << 16) |
                                                                     (GetGValue(kDesktop) << 8) |
                                                                     GetBValue(kDesktop));
        int dw = 0;
        int dh = 0;
        const std::vector<uint32_t> dialog = CaptureWindow(dlg.m_hWnd, dw, dh);
        int tw = 0;
        int th = 0;
        const std::vector<uint32_t> tip = CaptureWindow(dlg.m_tip.m_hWnd, tw, th);
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        ::GetWindowRgn(dlg.m_tip.m_hWnd, region);
        for (int y = 0; y < dh; ++y) {
            for (int x = 0; x < dw; ++x) {
                canvas[static_cast<size_t>(y + d.top - all.top) * w + (x + d.left - all.left)] =
                    dialog[static_cast<size_t>(y) * dw + x];
            }
        }
        for (int y = 0; y < th; ++y) {
            for (int x = 0; x < tw; ++x) {
                if (::PtInRegion(region, x, y)) {
                    canvas[static_cast<size_t>(y + t.top - all.top) * w + (x + t.left - all.left)] =
                        tip[static_cast<size_t>(y) * tw + x];
                }
            }
        }
        ::DeleteObject(region);
        EXPECT_TRUE(WritePng(base + shot.file, w, h, canvas));
        MoveTo(Nowhere());
        PumpUntil([&] { return !dlg.m_tip.IsTipVisible(); }, 1000);
    }
}

TEST(DrawManager, EffectsPaintAsTheirPixelMathSays) {
    constexpr int kW = 40;
    constexpr int kH = 30;
    CDibSection target;
    ASSERT_TRUE(target.Create(kW + 10, kH + 10, 32, true));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, target.GetHandle());
    const RECT rect = {5, 5, 5 + kW, 5 + kH};
    const COLORREF begin = 0xFFD5AA;
    const COLORREF middle = 0xFFC68C;
    const COLORREF end = 0xFF9122;
    auto pixel = [&](int x, int y) {
        const uint32_t p = reinterpret_cast<const uint32_t*>(target.StoredRow(y))[x];  // 0x00RRGGBB
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    };
    CPPDrawManager manager;
    for (int effect = effects::kNoise; effect <= effects::kMetal; ++effect) {
        SCOPED_TRACE(effect);
        std::fill(reinterpret_cast<uint32_t*>(target.Bits()),
                  reinterpret_cast<uint32_t*>(target.Bits()) + (kW + 10) * (kH + 10), 0x00FF00FFu);
        std::srand(7);
        manager.PaintBackgroundEffect(dc, effect, rect, begin, middle, end, 5, 5);
        ::GdiFlush();
        std::srand(7);
        dib::PackedDib expected;
        ASSERT_TRUE(effects::RenderEffect(expected, effect, kW, kH, begin, middle, end, 5, 5,
                                          [] { return std::rand(); }));
        int wrong = 0;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const COLORREF want = expected.PaletteEntry(expected.PixelValue(x, y));
                wrong += pixel(5 + x, 5 + y) != want;
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(pixel(4, 4), RGB(255, 0, 255));  // nothing outside the rectangle
        EXPECT_EQ(pixel(5 + kW, 5 + kH), RGB(255, 0, 255));
    }
    // Gradients in 64 bands: with 40 columns each column is its own band's colour.
    manager.PaintBackgroundEffect(dc, effects::kHGradient, rect, RGB(0, 0, 0), RGB(0, 0, 0),
                                  RGB(255, 255, 255), 0, 0);
    ::GdiFlush();
    for (int i = 0; i < effects::kGradientBands; ++i) {
        const effects::Band b = effects::GradientBand(RGB(0, 0, 0), RGB(255, 255, 255), i, kW);
        if (b.to > b.from) {
            EXPECT_EQ(pixel(5 + b.from, 10), b.colour) << i;
        }
    }
    manager.PaintBackgroundEffect(dc, effects::kVCGradient, rect, RGB(200, 0, 0), 0, RGB(0, 0, 200),
                                  0, 0);
    ::GdiFlush();
    // 15 rows per half: the top row is band 4, (60 begin + 4 end) / 64.
    EXPECT_EQ(pixel(10, 5), RGB(187, 0, 12));
    // The bottom half runs back towards it; its last band is (end + 63 begin) / 64.
    EXPECT_EQ(pixel(10, 5 + kH - 1), RGB(196, 0, 3));
    manager.PaintBackgroundEffect(dc, 99, rect, RGB(1, 2, 3), 0, 0, 0, 0);
    ::GdiFlush();
    EXPECT_EQ(pixel(20, 20), RGB(1, 2, 3));  // any other number: solid
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
}

TEST(DrawManager, ScreenshotOfEveryEffect) {
    constexpr int kCellW = 150;
    constexpr int kCellH = 56;
    constexpr int kCols = 4;
    CDibSection sheet;
    ASSERT_TRUE(sheet.Create(kCols * kCellW, 4 * kCellH, 32, true));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, sheet.GetHandle());
    CPPDrawManager manager;
    for (int effect = 0; effect < 16; ++effect) {
        const RECT cell = {(effect % kCols) * kCellW + 2, (effect / kCols) * kCellH + 2,
                           (effect % kCols + 1) * kCellW - 2, (effect / kCols + 1) * kCellH - 2};
        manager.PaintBackgroundEffect(dc, effect, cell, 0xFFD5AA, 0xFFC68C, 0xFF9122, 5, 5);
    }
    ::GdiFlush();
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    const auto* px = reinterpret_cast<const uint32_t*>(sheet.Bits());
    const std::vector<uint32_t> pixels(px, px + kCols * kCellW * 4 * kCellH);
    const char* dir = std::getenv("VG_SCREENSHOT_DIR");
    EXPECT_TRUE(WritePng(std::string(dir ? dir : ".") + "/background-effects.png", kCols * kCellW,
                         4 * kCellH, pixels));
}

TEST(CeXDib, PaintsItsPaletteImageUprightAndFollowsChanges) {
    CCeXDib bitmap;
    CDibSection target;
    ASSERT_TRUE(target.Create(6, 5, 32, true));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, target.GetHandle());
    EXPECT_FALSE(bitmap.PaintAt(dc, 0, 0));  // empty
    ASSERT_NE(bitmap.Allocate(3, 2, 8), nullptr);
    EXPECT_EQ(bitmap.RowStride(), 4u);
    bitmap.SetPaletteEntry(0, 10, 20, 30);
    bitmap.SetPaletteEntry(1, 200, 100, 50);
    bitmap.FillBits(0);
    bitmap.SetPixelValue(2, 0, 1);  // top-right on screen
    ASSERT_TRUE(bitmap.PaintAt(dc, 1, 1));
    ::GdiFlush();
    auto at = [&](int x, int y) {
        return reinterpret_cast<const uint32_t*>(target.StoredRow(y))[x] & 0xFFFFFF;
    };
    EXPECT_EQ(at(3, 1), 0xC86432u);
    EXPECT_EQ(at(1, 1), 0x0A141Eu);
    EXPECT_EQ(at(3, 2), 0x0A141Eu);
    bitmap.SetPixelValue(0, 1, 1);  // bottom-left, after the first paint
    bitmap.TintPalette(RGB(255, 255, 255), 100);
    ASSERT_TRUE(bitmap.PaintAt(dc, 1, 1));
    ::GdiFlush();
    EXPECT_EQ(at(1, 2), 0xFFFFFFu);
    EXPECT_EQ(at(2, 2), 0xFFFFFFu);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
}

namespace {

// A bitmap of w x h pixels in one colour.
HBITMAP SolidBitmap(int w, int h, COLORREF colour) {
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const RECT all = {0, 0, w, h};
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(memory, &all, brush);
    ::DeleteObject(brush);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return bitmap;
}

std::string Handle(const void* h) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llu",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
    return text;
}

}  // namespace

TEST(HtmlDrawer, ImagesStringsAndLinksFromTheMarkup) {
    HBITMAP red = SolidBitmap(8, 6, RGB(255, 0, 0));
    HIMAGELIST list = ImageList_Create(10, 10, ILC_COLOR24, 3, 0);
    for (COLORREF c : {RGB(0, 0, 255), RGB(0, 255, 0), RGB(255, 255, 0)}) {
        HBITMAP b = SolidBitmap(10, 10, c);
        ImageList_Add(list, b, nullptr);
        ::DeleteObject(b);
    }
    HICON icon = ImageList_GetIcon(list, 1, ILD_NORMAL);  // 10 x 10, green
    CDibSection target;
    ASSERT_TRUE(target.Create(300, 60, 32, true));
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, target.GetHandle());
    auto at = [&](int x, int y) {
        return reinterpret_cast<const uint32_t*>(target.StoredRow(y))[x] & 0xFFFFFF;
    };
    CPPHtmlDrawer drawer;
    CPPDrawManager manager;
    std::vector<std::string> opened;
    drawer.SetLinkOpener([&](const std::string& href) { opened.push_back(href); });

    struct Case {
        std::string markup;
        int width;  // of the one image, 0 for none
        int height;
        uint32_t centre;  // its colour at the centre, 0x00RRGGBB
    };
    const Case cases[] = {
        {"<bmp handle=" + Handle(red) + ">", 8, 6, 0xFF0000},
        {"<bmp handle=" + Handle(red) + " width=16 height=12>", 16, 12, 0xFF0000},
        {"<bmp handle=" + Handle(red) + " mask=red>", 8, 6, 0x808080},  // all masked away
        {"<icon handle=" + Handle(icon) + ">", 10, 10, 0x00FF00},
        {"<ilst handle=" + Handle(list) + " index=2>", 10, 10, 0xFFFF00},
        {"<bmp idres=999>", 0, 0, 0},  // missing: nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markup);
        const SIZE size = drawer.PrepareOutput(dc, c.markup, 0);
        const html::Document& doc = drawer.Output();
        ASSERT_EQ(doc.items.size(), c.width ? 1u : 0u);
        if (!c.width) {
            continue;
        }
        EXPECT_EQ(size.cx, c.width);
        EXPECT_EQ(doc.items[0].box.Height(), c.height);
        std::fill(reinterpret_cast<uint32_t*>(target.Bits()),
                  reinterpret_cast<uint32_t*>(target.Bits()) + 300 * 60, 0x808080u);
        drawer.DrawPreparedOutput(dc, POINT{20, 10}, manager);
        ::GdiFlush();
        EXPECT_EQ(at(20 + c.width / 2, 10 + doc.items[0].box.top + c.height / 2), c.centre);
    }
    drawer.PrepareOutput(dc, "<ilst handle=" + Handle(list) + " speed=40>", 0);
    EXPECT_TRUE(drawer.IsAnimated());

    // A string of the module's table, itself markup.
    drawer.PrepareOutput(dc, "<string idres=" + std::to_string(IDS_DEMO_MARKUP) + ">", 0);
    ASSERT_EQ(drawer.Output().items.size(), 2u);
    EXPECT_EQ(drawer.Output().items[0].text, "Bold");
    EXPECT_EQ(drawer.Output().items[0].font.weight, 700);

    // Links: hover lays the output out again with the hover style; a click opens the page.
    drawer.PrepareOutput(dc, "go <a href=\"https://example.test/help\">here</a>", 0);
    const html::Box link = drawer.Output().items[1].box;
    const POINT on = {link.left + 2, link.top + 2};
    EXPECT_FALSE(drawer.Output().items[1].font.underline);
    EXPECT_TRUE(drawer.OnMouseMove(dc, on));
    EXPECT_TRUE(drawer.Output().items[1].font.underline);
    EXPECT_FALSE(drawer.OnMouseMove(dc, POINT{on.x + 1, on.y}));
    EXPECT_FALSE(drawer.OnLButtonDown(POINT{1, 1}));
    EXPECT_TRUE(drawer.OnLButtonDown(on));
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.test/help"});

    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::DestroyIcon(icon);
    ImageList_Destroy(list);
    ::DeleteObject(red);
}

TEST_F(Tooltip, ALinkInATipOpensOnClickWhileTheTipStaysUnderTheCursor) {
    std::vector<std::string> opened;
    dlg.m_tip.SetLinkOpener([&](const std::string& href) { opened.push_back(href); });
    dlg.m_tip.SetDelay(tooltip::kRestTime, 100);
    dlg.m_tip.RemoveAllTools();
    dlg.m_tip.AddTool(dlg.m_menuButton.m_hWnd,
                      "<a href=\"https://example.test/guide\">Open the user's guide</a>");
    ShowOver(dlg.m_menuButton.m_hWnd);
    ASSERT_TRUE(dlg.m_tip.IsTipVisible());
    const RECT tip = dlg.m_tip.GetTipRect();
    const int top = (dlg.m_tip.GetDirection() & tooltip::kEdgeMask) == 0
                        ? tip.top + tooltip::kBalloonShape.pointerHeight
                        : tip.top;
    const POINT link = {tip.left + tooltip::kBalloonShape.marginX + 4,
                        top + tooltip::kBalloonShape.marginY + 4};
    MoveTo(link);  // onto the tip itself: it stays
    Pump(300);
    EXPECT_TRUE(dlg.m_tip.IsTipVisible());
    const MSG click = Message(WM_LBUTTONDOWN, link);
    dlg.m_tip.RelayEvent(&click);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.test/guide"});
    EXPECT_FALSE(dlg.m_tip.IsTipVisible());
}
