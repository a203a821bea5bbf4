// The plug-in's stored settings in the registry: the user's preferences and the installation
// folder, with the messages their failures show.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "RegistryMessages.h"

// Shows `text` in the framework's message box with an OK button and the exclamation icon.
void ShowRegistryMessage(const char* text);

inline constexpr char kProductKey[] = "SOFTWARE\\Varen Works\\Varen Glaze 2";
inline constexpr char kInstallPathKey[] =
    "SOFTWARE\\Wow6432Node\\Varen Works\\Varen Glaze 2\\InstallPath";

// The four preferences of the filter dialog, with their first-run values. Stored as "%d"
// text under "vwskin", "vwphelp", "vwpfast" and "vwpview".
struct StoredPreferences {
    int32_t skin = 1;
    bool popupHelp = true;
    bool panFaster = false;
    bool listView = false;
};

// Reads the preferences when the key exists; without it `prefs` keeps its values. A value
// that is missing or neither text nor a number reads as 0. A key that cannot be opened shows
// kMsgCannotOpenRegistry and leaves `prefs` as it was.
void LoadStoredPreferences(StoredPreferences& prefs,
                           const RegistryMessageSink& show = ShowRegistryMessage,
                           HKEY root = HKEY_CURRENT_USER, const char* path = kProductKey);

// Writes the four values, creating the key when missing; a key that cannot be opened shows
// kMsgCannotOpenRegistry and nothing is written.
void SaveStoredPreferences(const StoredPreferences& prefs,
                           const RegistryMessageSink& show = ShowRegistryMessage,
                           HKEY root = HKEY_CURRENT_USER, const char* path = kProductKey);

// The installation folder from the key's default value, as stored (with or without a final
// backslash). A key that cannot be opened shows kMsgCannotOpenRegistry; no text then, or
// from an open key, shows kMsgCannotReadRegistry and gives the empty text.
std::string ReadInstallFolder(const RegistryMessageSink& show = ShowRegistryMessage,
                              HKEY root = HKEY_LOCAL_MACHINE, const char* path = kInstallPathKey);
