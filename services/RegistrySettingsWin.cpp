// The plug-in's stored settings in the registry.
#include "RegistrySettingsWin.h"

#include <cstdio>

#include "RegistryWin.h"
#include "WinApp.h"

namespace {

constexpr REGSAM kQueryAndSet = KEY_QUERY_VALUE | KEY_SET_VALUE;

void Show(const RegistryMessageSink& show, const char* text) {
    if (show) {
        show(text);
    }
}

void SetDecimal(CRegistry& reg, const char* name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    reg.LookupEntry(name).SetText(text);
}

}  // namespace

void ShowRegistryMessage(const char* text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION, 0);
}

void LoadStoredPreferences(StoredPreferences& prefs, const RegistryMessageSink& show, HKEY root,
                           const char* path) {
    if (!CRegistry::KeyExists(path, root)) {
        return;
    }
    CRegistry reg(0);
    if (!reg.Open(path, root, kQueryAndSet)) {
        Show(show, kMsgCannotOpenRegistry);
        return;
    }
    prefs.skin = reg.LookupEntry("vwskin").GetInt();
    prefs.popupHelp = reg.LookupEntry("vwphelp").GetBool();
    prefs.panFaster = reg.LookupEntry("vwpfast").GetBool();
    prefs.listView = reg.LookupEntry("vwpview").GetBool();
    reg.Close();
}

void SaveStoredPreferences(const StoredPreferences& prefs, const RegistryMessageSink& show,
                           HKEY root, const char* path) {
    CRegistry reg(CRegistry::CreateIfMissing);
    if (!reg.Open(path, root, kQueryAndSet)) {
        Show(show, kMsgCannotOpenRegistry);
        return;
    }
    SetDecimal(reg, "vwskin", prefs.skin);
    SetDecimal(reg, "vwphelp", prefs.popupHelp ? 1 : 0);
    SetDecimal(reg, "vwpfast", prefs.panFaster ? 1 : 0);
    SetDecimal(reg, "vwpview", prefs.listView ? 1 : 0);
    reg.Close();
}

std::string ReadInstallFolder(const RegistryMessageSink& show, HKEY root, const char* path) {
    CRegistry reg(0);
    if (!reg.Open(path, root, KEY_QUERY_VALUE)) {
        Show(show, kMsgCannotOpenRegistry);
    }
    std::string folder = reg.LookupEntry("").GetText();
    if (folder.empty()) {
        Show(show, kMsgCannotReadRegistry);
    }
    return folder;
}
