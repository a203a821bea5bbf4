// The preset list of the real dialog: names or thumbnails of the previewed region, the toggle
// and "Refresh", and applying a preset by selecting it. The test engine inverts what it
// filters and records its last call, so the thumbnails' pixels and the engine's arguments
// say what was rendered with which values.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "resource.h"

using namespace vg::host;

namespace {

// Presets told apart by their clean radius (what the engine receives unchanged).
const PresetValues kAlpha = {2, 12, 0.7, 1.5, 2.0, 3, 0.25, 1.25, 2.5};
const PresetValues kBeta = {4, 16, 0.3, 0.5, 1.0, 1, 0.5, 2.0, 3.0};
const PresetValues kGamma = {6, 22, 1.2, 2.5, 3.5, 5, 0.75, 3.0, 5.0};
constexpr double kUserRadius = 9;

int EngineCalls() {
    return ReadEngine().last.calls;
}

float LastRadius() {
    return ReadEngine().last.args.cleanRadius;
}

// Three presets in two files: Alpha and Beta in a.vpp, Gamma in g.vpp.
void InstallThree() {
    ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", kAlpha, true);
    InstallPreset("a.vpp", "Beta", kBeta);
    InstallPreset("g.vpp", "Gamma", kGamma);
}

// One colour everywhere: every filtered pixel of it is known.
CHostImage UniformImage(int32_t width, int32_t height) {
    CHostImage image;
    std::string error;
    image.Create(width, height, 3, 8, false, &error);
    const uint32_t colour[3] = {40, 120, 200};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int32_t c = 0; c < 3; ++c) image.SetSample(x, y, c, colour[c]);
    return image;
}

RunOptions UserValues() {
    RunOptions options;
    options.replay = true;
    options.replayDescriptor.SetFloat(FourCC("CRD_"), kUserRadius);
    return options;
}

std::string ItemText(HWND list, int index) {
    char text[256] = {};
    LVITEMA item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    ::SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::string> Items(HWND list) {
    std::vector<std::string> names;
    const int n = int(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) names.push_back(ItemText(list, i));
    return names;
}

DWORD View(HWND list) {
    return DWORD(::GetWindowLongPtrA(list, GWL_STYLE)) & LVS_TYPEMASK;
}

// Selects the item as a click does (the list then notifies the dialog).
void SelectItem(HWND list, int index) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&item));
}

// The pixel at (x, y) of image `index` of the list's thumbnails, drawn as the list draws it.
COLORREF ThumbnailPixel(HWND list, int index, int x, int y) {
    HIMAGELIST images =
        reinterpret_cast<HIMAGELIST>(::SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP canvas = ::CreateCompatibleBitmap(screen, 224, 144);
    HGDIOBJ old = ::SelectObject(memory, canvas);
    COLORREF pixel = CLR_INVALID;
    if (ImageList_Draw(images, index, memory, 0, 0, ILD_NORMAL)) {
        pixel = ::GetPixel(memory, x, y);
    }
    ::SelectObject(memory, old);
    ::DeleteObject(canvas);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixel;
}

// A row's number box as the user reads it (the formats pad to five characters).
std::string PageText(const CDialogDriver& d, int page, int id) {
    std::string text = d.Text(d.PageItem(page, id));
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

}  // namespace

TEST(PresetList, ThumbnailsOfThePreviewedRegionAndTheListViewWithoutTheEngine) {
    InstallThree();
    Painted painted;
    std::vector<AdvanceRequest> requests;
    ResetRegistry();
    CFilterHost host(Recording(&painted, &requests));
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = UniformImage(2400, 1600);
    CDialogDriver d;
    int opened = 0;
    // Three thumbnails and the preview, then the preview once more when it has settled.
    UntilSettledPreview(d, 5);
    d.Do([&] {
        opened = EngineCalls();
        EXPECT_EQ(opened, 5);
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(View(list), DWORD(LVS_ICON));
        EXPECT_EQ(Items(list), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
        EXPECT_TRUE(d.Enabled(IDC_VG_REFRESH));
        // One column of 224 x 144 thumbnails, 164 pixels apart.
        HIMAGELIST images =
            reinterpret_cast<HIMAGELIST>(::SendMessageA(list, LVM_GETIMAGELIST, LVSIL_NORMAL, 0));
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images, &cx, &cy);
        EXPECT_EQ(cx, 224);
        EXPECT_EQ(cy, 144);
        EXPECT_EQ(ImageList_GetImageCount(images), 3);
        for (int i = 0; i < 3; ++i) {
            POINT at = {};
            ::SendMessageA(list, LVM_GETITEMPOSITION, WPARAM(i), reinterpret_cast<LPARAM>(&at));
            EXPECT_EQ(at.y, 20 + 164 * i);
            // Filtered (inverted) pixels of the image, corner to corner.
            EXPECT_EQ(ThumbnailPixel(list, i, 0, 0), RGB(215, 135, 55)) << i;
            EXPECT_EQ(ThumbnailPixel(list, i, 223, 143), RGB(215, 135, 55)) << i;
        }
        // The thumbnails' region: twice their size around the preview's centre, at full
        // resolution (the preview is at 100 %); the preview's own request comes back last.
        bool sawThumbRequest = false;
        for (const AdvanceRequest& r : requests) {
            sawThumbRequest = sawThumbRequest || (r.inRect.right - r.inRect.left == 448 &&
                                                  r.inRect.bottom - r.inRect.top == 288 &&
                                                  r.inputRate == ps::kFixedOne);
        }
        EXPECT_TRUE(sawThumbRequest);
        const AdvanceRequest& last = requests.back();
        EXPECT_NE(last.inRect.right - last.inRect.left, 448);
        // The user's values are back: in the record (the preview's engine call) and the pages.
        EXPECT_EQ(LastRadius(), float(kUserRadius));
        EXPECT_EQ(PageText(d, 0, IDC_VG_CLEAN_RADIUS_EDIT), "9");
        SaveWindowPng(d.Dialog(), OutputFolder() + "preset-thumbnails.png");
        d.Command(ID_VG_TOGGLE_VIEW);
    });
    d.Do([&] {
        // The list of names: the "Preset" column, no engine call, "Refresh" disabled.
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(View(list), DWORD(LVS_REPORT));
        EXPECT_EQ(Items(list), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
        char heading[32] = {};
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = heading;
        column.cchTextMax = sizeof heading;
        ::SendMessageA(list, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(heading, "Preset");
        EXPECT_EQ(column.cx, 324);
        EXPECT_EQ(EngineCalls(), opened);
        EXPECT_FALSE(d.Enabled(IDC_VG_REFRESH));
        SaveWindowPng(d.Dialog(), OutputFolder() + "preset-list.png");
        d.Command(ID_VG_TOGGLE_VIEW);
    });
    d.Do([&] {
        // Back to thumbnails: rendered again, and "Refresh" renders them once more.
        EXPECT_EQ(View(d.Item(IDC_VG_PRESET_LIST)), DWORD(LVS_ICON));
        EXPECT_EQ(EngineCalls(), opened + 4);
        EXPECT_TRUE(d.Enabled(IDC_VG_REFRESH));
        d.Click(IDC_VG_REFRESH);
    });
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), opened + 8);
        EXPECT_EQ(LastRadius(), float(kUserRadius));
        d.Click(IDCANCEL);
    });
    d.Run(host, image, UserValues());
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(PresetList, AnEmptyStoreStillFiltersThePreview) {
    ResetPresetFolder();
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    UntilSettledPreview(d, 2);
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), 2);
        EXPECT_TRUE(Items(d.Item(IDC_VG_PRESET_LIST)).empty());
        d.Click(IDC_VG_REFRESH);
    });
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), 3);  // nothing to render, the preview all the same
        d.Click(IDCANCEL);
    });
    d.Run(host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(PresetList, SelectingMarksThePresetAndAppliesItAgainAfterARefill) {
    InstallThree();
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(1200, 900, 8);
    CDialogDriver d;
    int calls = 0;
    UntilSettledPreview(d, 5);
    d.Do([&] {
        calls = EngineCalls();
        SelectItem(d.Item(IDC_VG_PRESET_LIST), 0);
    });
    d.Do([&] {
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(Items(list), (std::vector<std::string>{"***Alpha***", "Beta", "Gamma"}));
        EXPECT_EQ(EngineCalls(), calls + 1);
        EXPECT_EQ(LastRadius(), 12.0f);
        // The rows show Alpha's values in their formats.
        EXPECT_EQ(PageText(d, 0, IDC_VG_CLEAN_STRENGTH_EDIT), "2");
        EXPECT_EQ(PageText(d, 0, IDC_VG_CLEAN_RADIUS_EDIT), "12");
        EXPECT_EQ(PageText(d, 0, IDC_VG_CLEAN_THRESHOLD_EDIT), "0.70");
        EXPECT_EQ(PageText(d, 1, IDC_VG_EDGE_ACCENT_EDIT), "3");
        EXPECT_EQ(PageText(d, 2, IDC_VG_TEXTURE_BOOST_EDIT), "1.25");
        SelectItem(list, 2);
    });
    d.Do([&] {
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(Items(list), (std::vector<std::string>{"Alpha", "Beta", "***Gamma***"}));
        EXPECT_EQ(LastRadius(), 22.0f);
        EXPECT_EQ(PageText(d, 0, IDC_VG_CLEAN_RADIUS_EDIT), "22");
        // Reset All, then a refill: no mark; selecting Gamma applies it once more.
        d.Click(IDC_VG_RESET_ALL);
    });
    d.Do([&] {
        EXPECT_EQ(LastRadius(), 8.0f);
        d.Click(IDC_VG_REFRESH);
    });
    d.Do([&] {
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(Items(list), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
        EXPECT_EQ(LastRadius(), 8.0f);  // the thumbnails leave the values as they were
        calls = EngineCalls();
        SelectItem(list, 2);
    });
    d.Do([&] {
        EXPECT_EQ(Items(d.Item(IDC_VG_PRESET_LIST)),
                  (std::vector<std::string>{"Alpha", "Beta", "***Gamma***"}));
        EXPECT_EQ(EngineCalls(), calls + 1);
        EXPECT_EQ(LastRadius(), 22.0f);
        d.Click(IDOK);
    });
    const RunResult r = d.Run(host, image, RunOptions{});
    EXPECT_TRUE(r.ok()) << DescribeResult(r);
    // OK filtered the image with Gamma's values, which the host recorded.
    const DescriptorItem* radius = r.recorded.Find(FourCC("CRD_"));
    ASSERT_NE(radius, nullptr);
    EXPECT_DOUBLE_EQ(radius->number, 22.0);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}
