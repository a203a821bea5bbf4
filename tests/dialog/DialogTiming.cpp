// Speed of the dialog under Wine with the real engine, measured side by side in one run (not a
// test): re-filtering and painting a 600 x 400 preview after a parameter change, opening on a
// 24-megapixel image, a pan drag, which repaints without the engine, and the thumbnails of 16
// presets on a 24-megapixel image beside one preview change and the switch to the list view.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "plugin/FilterParams.h"
#include "resource.h"

using namespace vg::host;

namespace {

double Now() {
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(f.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

// The engine alone on a region of the preview's size, as the preview calls it.
double EngineAlone(int width, int height) {
    const std::string folder = std::string("Z:") + VG_DIALOG_TEST_DIR + "/realengine/";
    HMODULE engine = ::LoadLibraryA((folder + kEngineFileName).c_str());
    auto call = engine ? reinterpret_cast<VwGlazeRGB2Proc>(reinterpret_cast<void*>(
                             ::GetProcAddress(engine, kEngineExport)))
                       : nullptr;
    if (!call) {
        return -1;
    }
    const CHostImage image = TestImage(width, height, 8);
    std::vector<uint8_t> out(image.RowBytes() * height);
    EngineImage e{};
    e.pixelFormat = kEngineFormatRgb8;
    e.srcData = image.Row(0);
    e.srcRowBytes = int32_t(image.RowBytes());
    e.dstData = out.data();
    e.dstRowBytes = int32_t(image.RowBytes());
    e.width = width;
    e.height = height;
    e.sampleStep = 1;
    e.allocProc = [](uint32_t size, void*) { return std::malloc(size ? size : 1); };
    e.freeProc = [](void* block, void*) { std::free(block); };
    const EngineArgs a = MakeEngineArgs(DefaultParams());
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        std::copy(image.Row(0), image.Row(0) + out.size(), out.begin());
        const double t0 = Now();
        call(&e, a.mode, a.cleanStrength, a.channelThresholds, a.cleanRadius, a.channelFactors,
             a.edgeRadius, a.edgeSharpness, a.edgeAccent, a.constant, a.textureStrength,
             a.textureInvBoost, a.textureSize);
        times.push_back(Now() - t0);
    }
    ::FreeLibrary(engine);
    return Median(times);
}

int main() {
    ResetRegistry();
    std::string error;
    std::printf("engine alone on 601 x 401 at the defaults: median %.1f ms\n",
                EngineAlone(601, 401));

    // 1. A parameter change: the page stores, the engine filters 600 x 400, the host paints.
    {
        Painted painted;
        CFilterHost host(Recording(&painted, nullptr));
        if (!host.Load(ModuleWithRealEngine(), &error)) {
            std::printf("%s\n", error.c_str());
            return 1;
        }
        CHostImage image = TestImage(3000, 2000, 8);
        CDialogDriver d;
        std::vector<double> change, paintOnly;
        d.Do([&] {
            const RECT p = d.ClientRectOf(d.Item(IDC_VG_PREVIEW));
            RECT w;
            ::GetWindowRect(d.Dialog(), &w);
            ::SetWindowPos(d.Dialog(), nullptr, 0, 0, w.right - w.left + 600 - p.right,
                           w.bottom - w.top + 400 - p.bottom, SWP_NOMOVE | SWP_NOZORDER);
        });
        d.Sleep(800);
        d.Then([&] {
            const RECT p = d.ClientRectOf(d.Item(IDC_VG_PREVIEW));
            HWND page = d.Page(0);
            HWND slider = d.PageItem(0, IDC_VG_CLEAN_STRENGTH_SLIDER);
            for (int i = 0; i < 15; ++i) {
                const double t0 = Now();
                // The end of a slider move: store, filter, paint.
                ::SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                               reinterpret_cast<LPARAM>(slider));
                change.push_back(Now() - t0);
                const double t1 = Now();
                ::InvalidateRect(d.Item(IDC_VG_PREVIEW), nullptr, FALSE);
                ::UpdateWindow(d.Item(IDC_VG_PREVIEW));
                paintOnly.push_back(Now() - t1);
            }
            std::printf("preview %ld x %ld, painted %d x %d\n", p.right, p.bottom,
                        painted.columns, painted.rows);
            std::printf("parameter change -> filtered and painted: median %.1f ms (min %.1f)\n",
                        Median(change), *std::min_element(change.begin(), change.end()));
            std::printf("repaint alone: median %.1f ms\n", Median(paintOnly));
            return true;
        });
        // A pan drag: each move requests new pixels and repaints them; no engine.
        std::vector<double> moves;
        double release = 0;
        d.Then([&] {
            const POINT start = d.PointIn(d.Item(IDC_VG_PREVIEW), 400, 300);
            ::SendMessageA(d.Dialog(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(start.x, start.y));
            for (int i = 1; i <= 30; ++i) {
                const double t0 = Now();
                ::SendMessageA(d.Dialog(), WM_MOUSEMOVE, MK_LBUTTON,
                               MAKELPARAM(start.x - i * 5, start.y - i * 3));
                moves.push_back(Now() - t0);
            }
            const double t0 = Now();
            ::SendMessageA(d.Dialog(), WM_LBUTTONUP, 0,
                           MAKELPARAM(start.x - 150, start.y - 90));
            release = Now() - t0;
            std::printf("pan drag: one move (request + repaint, no engine) median %.1f ms; "
                        "release (one engine run) %.1f ms\n",
                        Median(moves), release);
            d.Click(IDCANCEL);
            return true;
        });
        d.Run(host, image, RunOptions{});
    }

    // 2. Opening on a 24-megapixel 8-bit image: overview built, first preview filtered and
    // painted (no thumbnails).
    {
        Painted painted;
        double overviewDone = 0, firstPaint = 0;
        std::vector<AdvanceRequest> requests;
        HostOptions options;
        const double* start = nullptr;
        double t0 = 0;
        start = &t0;
        options.onAdvanceState = [&](const AdvanceRequest& r) {
            requests.push_back(r);
            if (requests.size() == 1) {  // the decimated whole image for the overview
                overviewDone = Now() - *start;
            }
        };
        options.onDisplayPixels = [&](const ps::PSPixelMap&, const ps::VRect&, int32_t,
                                      int32_t) {
            if (firstPaint == 0) {
                firstPaint = Now() - *start;
            }
        };
        CFilterHost host(options);
        host.Load(ModuleWithRealEngine(), &error);
        CHostImage image = TestImage(6000, 4000, 8);
        CDialogDriver d;
        d.Do([&] { d.Click(IDCANCEL); });
        t0 = Now();
        d.Run(host, image, RunOptions{});
        std::printf("open on 6000 x 4000, 8 bits: overview delivered at %.0f ms, first filtered "
                    "preview painted at %.0f ms (%zu requests)\n",
                    overviewDone, firstPaint, requests.size());
    }

    // 3. Sixteen presets at the default values on a 24-megapixel image: "Refresh" renders every
    // thumbnail and filters the preview once more; the list view renders nothing.
    {
        ResetPresetFolder();
        PresetValues defaults{};
        for (int i = 0; i < kParamCount; ++i) defaults[i] = GetParam(DefaultParams(), i);
        for (int i = 0; i < 16; ++i) {
            InstallPreset("p" + std::to_string(i) + ".vpp", "Preset" + std::to_string(i),
                          defaults);
        }
        CFilterHost host;
        host.Load(ModuleWithRealEngine(), &error);
        CHostImage image = TestImage(6000, 4000, 8);
        CDialogDriver d;
        std::vector<double> refresh, change, toList, toThumbs;
        d.Sleep(800);
        d.Then([&] {
            HWND page = d.Page(0);
            HWND slider = d.PageItem(0, IDC_VG_CLEAN_STRENGTH_SLIDER);
            for (int i = 0; i < 5; ++i) {
                double t0 = Now();
                ::SendMessageA(d.Item(IDC_VG_REFRESH), BM_CLICK, 0, 0);
                refresh.push_back(Now() - t0);
                t0 = Now();
                ::SendMessageA(page, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                               reinterpret_cast<LPARAM>(slider));
                change.push_back(Now() - t0);
                t0 = Now();
                ::SendMessageA(d.Dialog(), WM_COMMAND, ID_VG_TOGGLE_VIEW, 0);
                toList.push_back(Now() - t0);
                t0 = Now();
                ::SendMessageA(d.Dialog(), WM_COMMAND, ID_VG_TOGGLE_VIEW, 0);
                toThumbs.push_back(Now() - t0);
            }
            const RECT p = d.ClientRectOf(d.Item(IDC_VG_PREVIEW));
            std::printf("16 presets on 6000 x 4000, preview %ld x %ld:\n", p.right, p.bottom);
            std::printf("  Refresh (16 thumbnails + the preview): median %.0f ms (min %.0f)\n",
                        Median(refresh), *std::min_element(refresh.begin(), refresh.end()));
            std::printf("  one parameter change (the preview alone): median %.0f ms\n",
                        Median(change));
            std::printf("  to the list view: median %.1f ms; back to thumbnails: median %.0f ms\n",
                        Median(toList), Median(toThumbs));
            std::printf("  ratio Refresh / parameter change: %.1f\n",
                        Median(refresh) / std::max(1.0, Median(change)));
            d.Click(IDCANCEL);
            return true;
        });
        d.Run(host, image, RunOptions{});
        ResetPresetFolder();
    }
    return 0;
}
