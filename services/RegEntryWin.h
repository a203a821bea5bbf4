// One cached value of an open registry key; assignments write through to the registry.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RegValue.h"

class CRegistry;

// A value name of the owning CRegistry with its cached typed value. Owned by the CRegistry,
// which outlives it; a reference stays valid until the registry deletes its entries.
class CRegEntry {
public:
    static constexpr size_t kNameSize = 2048;  // longest name kept, terminator included

    // `name` is cut to kNameSize bytes; the empty name stands for the key's default value.
    CRegEntry(CRegistry* owner, const char* name);
    virtual ~CRegEntry();
    CRegEntry(const CRegEntry&) = delete;
    CRegEntry& operator=(const CRegEntry&) = delete;

    // Cut to 2048 bytes including the terminator; written as REG_SZ.
    void SetText(const char* text);
    // Written as REG_DWORD.
    void SetNumber(DWORD number);
    // Written as REG_BINARY; length 0 does nothing at all.
    void SetBytes(const void* bytes, size_t length);
    // A block of NUL-terminated strings ending in an empty one; written as REG_MULTI_SZ.
    void SetTextList(const char* block, size_t length);

    // The value as text; the buffer belongs to the entry. Reloads the key first when the
    // registry was opened with RefreshOnRead.
    const char* GetText();
    // Text and bytes as a base-10 long, a number as is, anything else 0.
    int32_t GetInt();
    bool GetBool();

    const char* Name() const { return m_name.c_str(); }
    RegType Type() const { return m_value.Type(); }
    bool HasValue() const { return m_hasValue; }
    bool Written() const { return m_written; }
    DWORD Number() const { return m_value.Number(); }
    const std::vector<uint8_t>& Bytes() const { return m_value.Bytes(); }
    const std::vector<std::string>& TextList() const { return m_value.TextList(); }

private:
    friend class CRegistry;

    // Takes a value as enumerated from the key; `type` is one of the four handled types.
    void Load(DWORD type, const BYTE* data, DWORD length);
    void WriteThrough(DWORD type, const void* data, size_t length);

    std::string m_name;
    CRegistry* m_owner;
    CRegValue m_value;
    bool m_hasValue = false;
    bool m_written = false;
};
