// Screenshots of the dialog with the real engine and the predefined presets for a person to
// look at: template size and maximised, 100 % and fit, 8 and 16 bits, each tab. Also checks
// what a look would catch: every page row inside the tab control, no two controls on top of
// each other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "host/ImageFile.h"
#include "resource.h"

using namespace vg::host;

namespace {

RECT ScreenRect(HWND window) {
    RECT r = {};
    ::GetWindowRect(window, &r);
    return r;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The dialog's own controls must not overlap (the preview and the tab control's pages are
// their own areas), and every row of the visible page lies inside the tab control.
void CheckLayout(const CDialogDriver& d, int page, const std::string& name) {
    std::vector<HWND> controls;
    for (HWND c = ::GetWindow(d.Dialog(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        char cls[32] = {};
        ::GetClassNameA(c, cls, sizeof cls);
        if (::IsWindowVisible(c) && std::string(cls) != "ScrollBar") {  // the size grip
            controls.push_back(c);
        }
    }
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT a = ScreenRect(controls[i]), b = ScreenRect(controls[j]), both;
            EXPECT_FALSE(::IntersectRect(&both, &a, &b))
                << name << ": controls " << ::GetDlgCtrlID(controls[i]) << " and "
                << ::GetDlgCtrlID(controls[j]) << " overlap";
        }
    }
    RECT tabs = ScreenRect(d.Item(IDC_VG_TABS));
    for (HWND c = ::GetWindow(d.Page(page), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        EXPECT_TRUE(Inside(ScreenRect(c), tabs))
            << name << ": page control " << ::GetDlgCtrlID(c) << " is clipped";
    }
}

void ClickTab(const CDialogDriver& d, int index) {
    HWND tabs = d.Item(IDC_VG_TABS);
    RECT item = {};
    ::SendMessageA(tabs, 0x130A /* TCM_GETITEMRECT */, index, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(tabs, WM_LBUTTONUP, 0, at);
}

// The predefined presets, so that the list shows their thumbnails of the photograph.
void InstallPredefinedPresets() {
    const std::string folder = ResetPresetFolder();
    const std::string data = std::string("Z:") + VG_SOURCE_DIR + "/presets/data/";
    WIN32_FIND_DATAA found = {};
    HANDLE find = ::FindFirstFileA((data + "*.vpp").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        EXPECT_TRUE(::CopyFileA((data + found.cFileName).c_str(),
                                (folder + found.cFileName).c_str(), FALSE));
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
}

}  // namespace

TEST(DialogScreenshot, TemplateSizeAndMaximisedAtOneHundredPercentAndFitOnEachTab) {
    InstallPredefinedPresets();
    for (int depth : {8, 16}) {
        ResetRegistry();
        CFilterHost host;
        std::string error;
        ASSERT_TRUE(host.Load(ModuleWithRealEngine(), &error)) << error;
        // The bundled photograph, in 16 bits scaled to the host's 0..32768.
        CHostImage photo;
        ASSERT_TRUE(ReadImageFile(std::string("Z:") + VG_SOURCE_DIR + "/samples/sample.png", &photo,
                                  &error))
            << error;
        CHostImage image;
        ASSERT_TRUE(image.Create(photo.Width(), photo.Height(), 3, depth, false, &error));
        for (int32_t y = 0; y < photo.Height(); ++y)
            for (int32_t x = 0; x < photo.Width(); ++x)
                for (int32_t c = 0; c < 3; ++c)
                    image.SetSample(x, y, c, photo.Sample(x, y, c) * image.MaxSample() / 255);
        const std::string prefix = OutputFolder() + "dialog-" + std::to_string(depth) + "bit-";
        CDialogDriver d;
        auto settled = [&d] {
            // The settle timer and the engine have run: the wait cursor is gone and the
            // zoom is steady for a moment.
            return true;
        };
        d.Sleep(800);
        d.Then(settled, "settled");
        d.Do([&] {
            CheckLayout(d, 0, "template size");
            SaveWindowPng(d.Dialog(), prefix + "100-clean.png");
            ClickTab(d, 1);
        });
        d.Do([&] {
            SaveWindowPng(d.Dialog(), prefix + "100-edges.png");
            ClickTab(d, 2);
        });
        d.Do([&] {
            CheckLayout(d, 2, "texture tab");
            SaveWindowPng(d.Dialog(), prefix + "100-texture.png");
            d.Key('0', true);  // fit
        });
        d.Do([&] { SaveWindowPng(d.Dialog(), prefix + "fit-texture.png"); });
        d.Do([&] { ::ShowWindow(d.Dialog(), SW_MAXIMIZE); });
        d.Sleep(800);  // the settle timer after the resize
        d.Do([&] {
            CheckLayout(d, 2, "maximised");
            SaveWindowPng(d.Dialog(), prefix + "max-fit.png");
            d.Key('0', true, true);  // 100 %
        });
        d.Do([&] {
            SaveWindowPng(d.Dialog(), prefix + "max-100.png");
            ::ShowWindow(d.Dialog(), SW_RESTORE);
            d.Click(IDCANCEL);
        });
        EXPECT_EQ(d.Run(host, image, RunOptions{}).result, -128);
        for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
    }
}
