// Stored preferences and the installation folder, with the messages their failures show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistrySettingsWin.h"
#include "RegistryTestKey.h"
#include "WinApp.h"

using RegistrySettings = RegistryTestKey;

namespace {
// A root key handle that no registry call accepts.
const HKEY kBadRoot = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654321));
}  // namespace

class Messages {
public:
    RegistryMessageSink Sink() {
        return [this](const char* text) { shown.emplace_back(text); };
    }
    std::vector<std::string> shown;
};

TEST_F(RegistrySettings, FirstRunKeepsDefaultsAndSavingCreatesTheKey) {
    Messages m;
    StoredPreferences prefs;
    LoadStoredPreferences(prefs, m.Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_EQ(prefs.skin, 1);
    EXPECT_TRUE(prefs.popupHelp);
    EXPECT_FALSE(prefs.panFaster);
    EXPECT_FALSE(prefs.listView);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, Path()));

    SaveStoredPreferences(prefs, m.Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_TRUE(m.shown.empty());
    const char* names[] = {"vwskin", "vwphelp", "vwpfast", "vwpview"};
    const char* texts[] = {"1", "1", "0", "0"};
    for (int i = 0; i < 4; ++i) {
        const Stored s = Get(names[i]);
        EXPECT_EQ(s.type, DWORD{REG_SZ}) << names[i];
        EXPECT_EQ(AsText(s), std::string(texts[i], 2)) << names[i];
    }
}

TEST_F(RegistrySettings, LoadReadsTextAndNumbersAndCountsMissingValuesAsZero) {
    PutText("VWSKIN", "3");
    PutNumber("vwphelp", 0);
    PutText("vwpfast", "1abc");
    Messages m;
    StoredPreferences prefs;
    LoadStoredPreferences(prefs, m.Sink(), HKEY_CURRENT_USER, Path());
    EXPECT_EQ(prefs.skin, 3);
    EXPECT_FALSE(prefs.popupHelp);
    EXPECT_TRUE(prefs.panFaster);
    EXPECT_FALSE(prefs.listView);
    EXPECT_TRUE(m.shown.empty());
}

TEST_F(RegistrySettings, InstallFolderComesFromTheDefaultValue) {
    const std::string key = HklmPath("InstallPath");
    Put(HKEY_LOCAL_MACHINE, key, "", REG_SZ, "C:\\Varen\\", 10);
    Messages m;
    EXPECT_EQ(ReadInstallFolder(m.Sink(), HKEY_LOCAL_MACHINE, key.c_str()), "C:\\Varen\\");
    EXPECT_TRUE(m.shown.empty());

    PutText("other", "x");  // a key without a default value
    EXPECT_EQ(ReadInstallFolder(m.Sink(), HKEY_CURRENT_USER, Path()), "");
    EXPECT_EQ(m.shown, std::vector<std::string>{"Error: cannot read regitry"});

    m.shown.clear();
    EXPECT_EQ(ReadInstallFolder(m.Sink(), HKEY_CURRENT_USER, Sibling("Missing").c_str()), "");
    EXPECT_EQ(m.shown, (std::vector<std::string>{"Error: cannot open registry",
                                                 "Error: cannot read regitry"}));
}

TEST_F(RegistrySettings, UnopenableKeyShowsTheFrameworkMessageBox) {
    std::vector<std::string> texts;
    std::vector<UINT> types;
    AfxSetMessageBoxHook([&](const char* text, const char*, UINT type) {
        texts.emplace_back(text);
        types.push_back(type);
        return IDOK;
    });
    StoredPreferences prefs;
    prefs.skin = 9;
    SaveStoredPreferences(prefs, ShowRegistryMessage, kBadRoot, "Software\\x");
    LoadStoredPreferences(prefs, ShowRegistryMessage, kBadRoot, "Software\\x");  // no key
    AfxSetMessageBoxHook(nullptr);
    EXPECT_EQ(texts, std::vector<std::string>{"Error: cannot open registry"});
    EXPECT_EQ(types, std::vector<UINT>{MB_OK | MB_ICONEXCLAMATION});
    EXPECT_EQ(prefs.skin, 9);
}
