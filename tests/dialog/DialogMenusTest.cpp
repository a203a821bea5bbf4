// The Preferences dialog with the preferences stored in the registry, and the settings report
// with its copy to the clipboard, in the real dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "RegistrySettingsWin.h"
#include "plugin/ProductInfo.h"
#include "resource.h"

using namespace vg::host;

namespace {

constexpr char kPrefCaption[] = "Preference";
constexpr char kReportCaption[] = "Parameter Setting";

int EngineCalls() {
    return ReadEngine().last.calls;
}

// A stored preference as text, "(none)" when missing, "(type n)" when not text.
std::string StoredPreference(const char* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kProductKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return "(no key)";
    }
    char value[64] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    const LONG result =
        ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        return "(none)";
    }
    return type == REG_SZ ? std::string(value) : "(type " + std::to_string(type) + ")";
}

std::string Clipboard() {
    std::string text = "(empty)";
    if (::OpenClipboard(nullptr)) {
        if (HANDLE data = ::GetClipboardData(CF_TEXT)) {
            if (const char* p = static_cast<const char*>(::GlobalLock(data))) {
                text = p;
                ::GlobalUnlock(data);
            }
        }
        ::CloseClipboard();
    }
    return text;
}

void SetClipboard(const std::string& text) {
    if (!::OpenClipboard(nullptr)) {
        return;
    }
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(::GlobalLock(block), text.c_str(), text.size() + 1);
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_TEXT, block);
    ::CloseClipboard();
}

bool Checked(HWND dialog, int id) {
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

}  // namespace

TEST(DialogPreferences, FirstRunDefaultsAreStoredWhenTheDialogCloses) {
    ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", {2, 12, 0.7, 1.5, 2.0, 3, 0.25, 1.25, 2.5});
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    UntilSettledPreview(d, 3);
    d.Do([&] {
        EXPECT_EQ(StoredPreference("vwphelp"), "(none)");  // nothing written before closing
        EXPECT_TRUE(d.Enabled(IDC_VG_REFRESH));
        d.Command(ID_VG_PREFERENCES);
    });
    d.OnPopup(kPrefCaption, [&](HWND dialog) {
        SaveWindowPng(dialog, OutputFolder() + "preferences.png");
        EXPECT_TRUE(Checked(dialog, IDC_VG_PREF_POPUP_HELP));
        EXPECT_FALSE(Checked(dialog, IDC_VG_PREF_PAN_FASTER));
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    d.Do([&] { d.Click(IDOK); });
    d.Run(host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(StoredPreference("vwskin"), "1");
    EXPECT_EQ(StoredPreference("vwphelp"), "1");
    EXPECT_EQ(StoredPreference("vwpfast"), "0");
    EXPECT_EQ(StoredPreference("vwpview"), "0");
}

TEST(DialogPreferences, StoredValuesRuleAndChangesAreKeptEvenOnCancel) {
    ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", {2, 12, 0.7, 1.5, 2.0, 3, 0.25, 1.25, 2.5});
    InstallPreset("a.vpp", "Beta", {4, 16, 0.3, 0.5, 1.0, 1, 0.5, 2.0, 3.0});
    ResetRegistry();
    // A key without "vwphelp" (help off), the list view stored, a skin kept as it is.
    StorePreference("vwpview", "1");
    StorePreference("vwskin", "7");
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    UntilSettledPreview(d, 2);
    d.Do([&] {
        // The plain list: no thumbnail rendered, "Refresh" disabled.
        EXPECT_EQ(EngineCalls(), 2);
        HWND list = d.Item(IDC_VG_PRESET_LIST);
        EXPECT_EQ(DWORD(::GetWindowLongPtrA(list, GWL_STYLE)) & LVS_TYPEMASK, DWORD(LVS_REPORT));
        EXPECT_EQ(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 2);
        EXPECT_FALSE(d.Enabled(IDC_VG_REFRESH));
        d.Command(ID_VG_PREFERENCES);
    });
    d.OnPopup(kPrefCaption, [&](HWND dialog) {
        EXPECT_FALSE(Checked(dialog, IDC_VG_PREF_POPUP_HELP));
        EXPECT_FALSE(Checked(dialog, IDC_VG_PREF_PAN_FASTER));
        ::PostMessageA(::GetDlgItem(dialog, IDC_VG_PREF_PAN_FASTER), BM_CLICK, 0, 0);
        ::PostMessageA(::GetDlgItem(dialog, IDC_VG_PREF_POPUP_HELP), BM_CLICK, 0, 0);
    });
    d.OnPopup(kPrefCaption, [&](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_VG_PREF_PAN_FASTER));
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    d.Do([&] { d.Command(ID_VG_PREFERENCES); });
    d.OnPopup(kPrefCaption, [&](HWND dialog) {
        // The dialog shows what OK took.
        EXPECT_TRUE(Checked(dialog, IDC_VG_PREF_POPUP_HELP));
        EXPECT_TRUE(Checked(dialog, IDC_VG_PREF_PAN_FASTER));
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    d.Do([&] {
        EXPECT_EQ(StoredPreference("vwpfast"), "(none)");  // nothing written before closing
        d.Click(IDCANCEL);
    });
    d.Run(host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(StoredPreference("vwskin"), "7");
    EXPECT_EQ(StoredPreference("vwphelp"), "1");
    EXPECT_EQ(StoredPreference("vwpfast"), "1");
    EXPECT_EQ(StoredPreference("vwpview"), "1");
}

TEST(SettingsReport, ShowsTheChangedValuesAndCopiesThemOnlyOnTheButton) {
    ResetPresetFolder();
    ResetRegistry();
    CFilterHost host;
    std::string error;
    ASSERT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    CHostImage image = TestImage(900, 700, 8);
    RunOptions user;
    user.replay = true;
    user.replayDescriptor.SetFloat(FourCC("CRD_"), 12);
    user.replayDescriptor.SetFloat(FourCC("ESP_"), 1.5);
    user.replayDescriptor.SetFloat(FourCC("CTH_"), 0.504);  // within 0.005 of its default
    const std::string report = std::string("==== Varen Glaze V2.1.0 Settings ====\r\n") +
                               kProductPage +
                               "\r\n--Clean tab--\r\n    Radius:    12\r\n--Edges tab--\r\n"
                               "    Sharpness:  1.50\r\n(Parameters not shown are at default "
                               "values)\r\n\r\n";
    SetClipboard("before");
    CDialogDriver d;
    UntilSettledPreview(d, 2);
    d.Do([&] { d.Command(ID_VG_COPY_SETTINGS); });
    d.OnPopup(kReportCaption, [&](HWND dialog) {
        SaveWindowPng(dialog, OutputFolder() + "settings-report.png");
        EXPECT_EQ(d.Text(::GetDlgItem(dialog, IDC_VG_SETTINGS_TEXT)), report);
        ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    d.Do([&] {
        EXPECT_EQ(Clipboard(), "before");
        d.Command(ID_VG_COPY_SETTINGS);
    });
    d.OnPopup(kReportCaption, [&](HWND dialog) {
        ::PostMessageA(::GetDlgItem(dialog, IDC_VG_COPY_AND_CLOSE), BM_CLICK, 0, 0);
    });
    d.Do([&] {
        EXPECT_EQ(d.FindPopup(kReportCaption), nullptr);
        EXPECT_EQ(Clipboard(), report);
        d.Click(IDCANCEL);
    });
    d.Run(host, image, user);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}
