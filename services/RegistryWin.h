// Typed, cached access to one registry key.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Handle.h"
#include "RegEntryWin.h"

// Opens one key and caches its values as entries, one per value name. Owns the key handle
// (null when closed), a copy of the path of the last fresh open and the entries, which it
// deletes only on destruction or on a fresh open of a different key.
class CRegistry {
public:
    // Flag word bits.
    static constexpr DWORD CreateIfMissing = 1;  // create the key when it does not exist
    static constexpr DWORD OpenOnDemand = 2;     // keep the key closed between operations
    static constexpr DWORD RefreshOnRead = 4;    // reload all values before each read
    static constexpr DWORD Loading = 8;          // set while loading: entries do not write back

    static constexpr DWORD kDataSize = 2048;  // largest value loaded
    static constexpr DWORD kNameSize = 260;   // value names are loaded up to 259 bytes

    explicit CRegistry(DWORD flags = 0);
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens `path` below `root`. A fresh open (reopen false) remembers the path and root and
    // loads every value; reopening the remembered key keeps the cached entries, another key
    // discards them. A reopen only opens the key.
    bool Open(const char* path, HKEY root, REGSAM access, bool reopen = false);
    // With OpenOnDemand and no key open, opens the remembered key again with `access`.
    bool EnsureOpen(REGSAM access);
    void Close();
    // Reads every value of the key into the entries; values too large for the buffers and
    // values of other types are skipped.
    bool LoadAll();
    // The entry of `name` (case-insensitive, newest first), appended when absent.
    CRegEntry& LookupEntry(const char* name);
    // Whether `path` below `root` can be opened for query; nothing is created or loaded.
    static bool KeyExists(const char* path, HKEY root);

    bool IsOpen() const { return static_cast<bool>(m_key); }
    HKEY Key() const { return m_key.Get(); }
    DWORD Flags() const { return m_flags; }
    size_t EntryCount() const { return m_entries.size(); }
    CRegEntry& EntryAt(size_t index) const { return *m_entries[index]; }

private:
    friend class CRegEntry;

    // Reloads before a read when RefreshOnRead asks for it and the key can be opened.
    void RefreshForRead();
    void DeleteEntries();

    CRegKeyHandle m_key;
    HKEY m_root = nullptr;
    std::optional<std::string> m_path;  // empty until the first fresh open
    DWORD m_flags;
    std::vector<std::unique_ptr<CRegEntry>> m_entries;
};
