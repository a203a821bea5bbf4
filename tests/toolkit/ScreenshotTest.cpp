// Captures the demonstration dialog at two sizes as PNG files for a person to look at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "DemoDialog.h"
#include "PngFile.h"
#include "ToolkitTestSupport.h"

namespace {

// GetWindowDC + BitBlt into a magenta-filled DIB; returns the number of magenta pixels left.
size_t Capture(HWND hWnd, const std::string& path) {
    RECT r;
    ::GetWindowRect(hWnd, &r);
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC window = ::GetWindowDC(hWnd);
    HBITMAP dib = ::CreateDIBSection(window, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(window);
    HGDIOBJ old = ::SelectObject(memory, dib);
    auto* px = static_cast<uint32_t*>(bits);
    std::fill(px, px + static_cast<size_t>(w) * h, 0x00FF00FFu);
    ::BitBlt(memory, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ::GdiFlush();
    std::vector<uint32_t> pixels(px, px + static_cast<size_t>(w) * h);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(dib);
    ::ReleaseDC(hWnd, window);
    EXPECT_TRUE(WritePng(path, w, h, pixels)) << path;
    size_t magenta = 0;
    for (uint32_t p : pixels) {
        magenta += (p & 0xFFFFFF) == 0xFF00FF;
    }
    return magenta;
}

}  // namespace

TEST(ToolkitScreenshot, DemonstrationDialogAtTwoSizes) {
    CDemoDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_DEMO));
    dlg.ShowWindow(SW_SHOW);
    dlg.RedrawWindow(nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    PumpMessages();
    const char* dir = std::getenv("VG_SCREENSHOT_DIR");
    std::string base = dir ? dir : ".";
    EXPECT_EQ(Capture(dlg.m_hWnd, base + "/toolkit-demo-small.png"), 0u);

    RECT w;
    dlg.GetWindowRect(&w);
    dlg.SetWindowPos(nullptr, 0, 0, (w.right - w.left) * 3 / 2, (w.bottom - w.top) * 3 / 2,
                     SWP_NOMOVE | SWP_NOZORDER);
    // The second tab, to show the other page in the larger picture.
    NMHDR n = {dlg.m_tab.m_hWnd, IDC_DEMO_TAB, static_cast<UINT>(TCN_SELCHANGING)};
    dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
    dlg.m_tab.SetCurSel(1);
    n.code = static_cast<UINT>(TCN_SELCHANGE);
    dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
    dlg.RedrawWindow(nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    PumpMessages();
    EXPECT_EQ(Capture(dlg.m_hWnd, base + "/toolkit-demo-large.png"), 0u);
}
