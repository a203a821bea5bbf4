// The dialog pictures of the user's guide: the real plug-in and engine on the bundled photograph,
// with the predefined presets installed, on each of its tabs.
// Usage: guide_pictures OUT_FOLDER   (writes dialog-clean.png, dialog-edges.png,
// dialog-fit-texture.png and preferences.png; exit code 0 when all were written)
#include <windows.h>

#include <cstdio>
#include <string>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "host/ImageFile.h"
#include "resource.h"

using namespace vg::host;

namespace {

void ClickTab(const CDialogDriver& d, int index) {
    HWND tabs = d.Item(IDC_VG_TABS);
    RECT item = {};
    ::SendMessageA(tabs, 0x130A /* TCM_GETITEMRECT */, index, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageA(tabs, WM_LBUTTONUP, 0, at);
}

// Copies the predefined presets into the Presets folder of the installation the dialog reads.
bool InstallPresets() {
    const std::string install = std::string("Z:") + VG_DIALOG_TEST_DIR + "\\install";
    const std::string folder = install + "\\Presets";
    ::CreateDirectoryA(install.c_str(), nullptr);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::string from = std::string("Z:") + GUIDE_PRESET_DIR;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((from + "\\*.vpp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    do {
        ok = ::CopyFileA((from + "\\" + fd.cFileName).c_str(),
                         (folder + "\\" + fd.cFileName).c_str(), FALSE) &&
             ok;
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: guide_pictures OUT_FOLDER\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "\\";
    ResetRegistry();  // the installation folder is the one InstallPresets fills
    if (!InstallPresets()) {
        std::fprintf(stderr, "guide_pictures: cannot copy the presets from %s\n",
                     GUIDE_PRESET_DIR);
        return 1;
    }
    CFilterHost host;
    std::string error;
    CHostImage photo;
    if (!host.Load(ModuleWithRealEngine(), &error) ||
        !ReadImageFile(std::string("Z:") + VG_SOURCE_DIR + "/samples/sample.png", &photo,
                       &error)) {
        std::fprintf(stderr, "guide_pictures: %s\n", error.c_str());
        return 1;
    }
    bool saved = true;
    CDialogDriver d;
    d.Sleep(1500);  // the preset thumbnails, then the settled preview
    d.Do([&] {
        saved = SaveWindowPng(d.Dialog(), out + "dialog-clean.png") && saved;
        ClickTab(d, 1);
    });
    d.Do([&] {
        saved = SaveWindowPng(d.Dialog(), out + "dialog-edges.png") && saved;
        ClickTab(d, 2);
        d.Key('0', true);  // fit
    });
    d.Sleep(800);
    d.Do([&] {
        saved = SaveWindowPng(d.Dialog(), out + "dialog-fit-texture.png") && saved;
        d.Command(ID_VG_PREFERENCES);
    });
    d.OnPopup("Preference", [&](HWND dialog) {
        saved = SaveWindowPng(dialog, out + "preferences.png") && saved;
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    d.Do([&] { d.Click(IDCANCEL); });
    const RunResult r = d.Run(host, photo, RunOptions{});
    for (const std::string& failure : d.Failures()) {
        std::fprintf(stderr, "guide_pictures: %s\n", failure.c_str());
    }
    if (r.result != -128 || !d.Failures().empty() || !saved) {
        std::fprintf(stderr, "guide_pictures: the dialog run failed (%s)\n",
                     DescribeResult(r).c_str());
        return 1;
    }
    return 0;
}
