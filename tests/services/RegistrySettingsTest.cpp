// Stored preferences and the installation folder, with the messages their failures show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistrySettingsWin.h"
#include "RegistryTestKey.h"
#include "WinApp.h"

using Texts = std::vector<std::string>;

class RegistrySettings : public RegistryTestKey {
protected:
    RegistryMessageSink Sink() {
        return [this](const char* text) { m_shown.emplace_back(text); };
    }
    Texts m_shown;
};

TEST_F(RegistrySettings, FirstRunKeepsDefaultsAndSavingCreatesTheKey) {
    StoredPreferences prefs;
    LoadStoredPreferences(prefs, Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_EQ(prefs.skin, 1);
    EXPECT_TRUE(prefs.popupHelp);
    EXPECT_FALSE(prefs.panFaster || prefs.listView);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, Path()));

    SaveStoredPreferences(prefs, Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_TRUE(m_shown.empty());
    EXPECT_EQ(Get("vwskin").data, std::string("1", 2));
    EXPECT_EQ(Get("vwphelp").data, std::string("1", 2));
    EXPECT_EQ(Get("vwpfast").data, std::string("0", 2));
    EXPECT_EQ(Get("vwpview").data, std::string("0", 2));
    EXPECT_EQ(Get("vwpview").type, DWORD{REG_SZ});
}

TEST_F(RegistrySettings, LoadReadsTextAndNumbersAndCountsMissingValuesAsZero) {
    PutText("VWSKIN", "3");
    PutNumber("vwphelp", 0);
    PutText("vwpfast", "1abc");
    StoredPreferences prefs;
    LoadStoredPreferences(prefs, Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_EQ(prefs.skin, 3);
    EXPECT_FALSE(prefs.popupHelp);
    EXPECT_TRUE(prefs.panFaster);
    EXPECT_FALSE(prefs.listView);
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(RegistrySettings, InstallFolderComesFromTheDefaultValue) {
    Put(HKEY_LOCAL_MACHINE, HklmPath(), "", REG_SZ, "C:\\Varen\\", 10);
    EXPECT_EQ(ReadInstallFolder(Sink(), HKEY_LOCAL_MACHINE, HklmPath().c_str()), "C:\\Varen\\");
    EXPECT_TRUE(m_shown.empty());

    PutText("other", "x");  // a key without a default value
    EXPECT_EQ(ReadInstallFolder(Sink(), HKEY_CURRENT_USER, Path()), "");
    EXPECT_EQ(m_shown, Texts{"Error: cannot read regitry"});
    m_shown.clear();
    EXPECT_EQ(ReadInstallFolder(Sink(), HKEY_CURRENT_USER, Sibling("Missing").c_str()), "");
    EXPECT_EQ(m_shown, (Texts{"Error: cannot open registry", "Error: cannot read regitry"}));
}

TEST_F(RegistrySettings, UnopenableKeyShowsTheFrameworkMessageBox) {
    Texts texts;
    std::vector<UINT> types;
    AfxSetMessageBoxHook([&](const char* text, const char*, UINT type) {
        texts.emplace_back(text);
        types.push_back(type);
        return IDOK;
    });
    const HKEY badRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654321));
    StoredPreferences prefs;
    prefs.skin = 9;
    SaveStoredPreferences(prefs, ShowRegistryMessage, badRoot, "Software\\x");
    LoadStoredPreferences(prefs, ShowRegistryMessage, badRoot, "Software\\x");  // "no key"
    AfxSetMessageBoxHook(nullptr);
    EXPECT_EQ(texts, Texts{"Error: cannot open registry"});
    EXPECT_EQ(types, std::vector<UINT>{MB_OK | MB_ICONEXCLAMATION});
    EXPECT_EQ(prefs.skin, 9);
}
