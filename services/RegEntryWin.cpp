// One cached value of an open registry key.
#include "RegEntryWin.h"

#include <cstdint>
#include <cstring>

#include "RegistryWin.h"

CRegEntry::CRegEntry(CRegistry* owner, const char* name) : m_owner(owner) {
    const char* n = name ? name : "";
    m_name.assign(n, strnlen(n, kNameSize - 1));
}

CRegEntry::~CRegEntry() = default;

void CRegEntry::SetText(const char* text) {
    m_value.AssignText(text);
    m_hasValue = true;
    const char* stored = m_value.Text();
    WriteThrough(REG_SZ, stored, std::strlen(stored) + 1);
}

void CRegEntry::SetNumber(DWORD number) {
    m_value.AssignNumber(number);
    m_hasValue = true;
    WriteThrough(REG_DWORD, &number, sizeof number);
}

void CRegEntry::SetBytes(const void* bytes, size_t length) {
    if (!m_value.AssignBytes(bytes, length)) {
        return;
    }
    WriteThrough(REG_BINARY, bytes, length);
}

void CRegEntry::SetTextList(const char* block, size_t length) {
    m_value.AssignTextList(block, length);
    WriteThrough(REG_MULTI_SZ, block, block ? length : 0);
}

void CRegEntry::Load(DWORD type, const BYTE* data, DWORD length) {
    // Registry data is not trusted to be terminated or of the size its type implies.
    switch (type) {
        case REG_SZ:
            m_value.AssignTextData(data, length);
            m_hasValue = true;
            break;
        case REG_BINARY:
            if (!m_value.AssignBytes(data, length)) {
                return;
            }
            break;
        case REG_DWORD: {
            if (length < sizeof(DWORD)) {
                return;
            }
            DWORD number;
            std::memcpy(&number, data, sizeof number);
            m_value.AssignNumber(number);
            m_hasValue = true;
            break;
        }
        case REG_MULTI_SZ:
            m_value.AssignTextList(data, length);
            break;
        default:
            return;
    }
    // The owner is loading, so this only marks the entry.
    WriteThrough(type, nullptr, 0);
}

void CRegEntry::WriteThrough(DWORD type, const void* data, size_t length) {
    CRegistry& reg = *m_owner;
    if (!(reg.m_flags & CRegistry::Loading)) {
        const bool onDemand = (reg.m_flags & CRegistry::OpenOnDemand) != 0;
        const bool ready = onDemand ? reg.EnsureOpen(KEY_SET_VALUE) : reg.IsOpen();
        if (ready && reg.IsOpen() && length <= UINT32_MAX) {
            RegSetValueExA(reg.m_key.Get(), m_name.c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(length));
        }
        if (onDemand) {
            reg.Close();
        }
    }
    m_written = true;
}

const char* CRegEntry::GetText() {
    m_owner->RefreshForRead();
    return m_value.Text();
}

int32_t CRegEntry::GetInt() {
    m_owner->RefreshForRead();
    return m_value.Int();
}

bool CRegEntry::GetBool() {
    return GetInt() != 0;
}
