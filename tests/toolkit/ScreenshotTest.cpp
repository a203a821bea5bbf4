// Captures the demonstration dialog at two sizes as PNG files for a person to look at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "DemoDialog.h"
#include "ToolkitTestSupport.h"

namespace {

uint32_t Crc(const uint8_t* data, size_t n, uint32_t crc = 0xFFFFFFFFu) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) {
        out.push_back(static_cast<uint8_t>(v >> s));
    }
}

void Chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    Put32(png, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    Put32(png, Crc(body.data(), body.size()) ^ 0xFFFFFFFFu);
}

// An RGB PNG with stored (uncompressed) deflate blocks: no compression library needed.
bool WritePng(const std::string& path, int w, int h, const std::vector<uint32_t>& bgrx) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) {
            uint32_t p = bgrx[static_cast<size_t>(y) * w + x];
            raw.push_back(static_cast<uint8_t>(p >> 16));
            raw.push_back(static_cast<uint8_t>(p >> 8));
            raw.push_back(static_cast<uint8_t>(p));
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        if (last) {
            break;
        }
    }
    Put32(z, (b << 16) | a);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Put32(ihdr, static_cast<uint32_t>(w));
    Put32(ihdr, static_cast<uint32_t>(h));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && ok;
}

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
    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW |
                                           RDW_FRAME);
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
    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW |
                                           RDW_FRAME);
    PumpMessages();
    EXPECT_EQ(Capture(dlg.m_hWnd, base + "/toolkit-demo-large.png"), 0u);
}

