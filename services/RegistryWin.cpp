// Typed, cached access to one registry key.
#include "RegistryWin.h"

#include <string_view>

#include "RegText.h"

namespace {

// Case rules of the process's ANSI code page, read once.
const regtext::CodePageCase& AnsiCase() {
    static const regtext::CodePageCase cp = [] {
        regtext::CodePageCase c = regtext::CodePageCase::Ascii();
        for (int b = 1; b < 256; ++b) {
            c.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
            if (!c.lead[b]) {
                char ch[2] = {static_cast<char>(b), '\0'};
                CharUpperBuffA(ch, 1);
                c.upper[b] = static_cast<unsigned char>(ch[0]);
            }
        }
        return c;
    }();
    return cp;
}

// Restores the flag word when loading ends, also by an exception.
class CFlagRestore {
public:
    CFlagRestore(DWORD& flags, DWORD saved) : m_flags(flags), m_saved(saved) {}
    ~CFlagRestore() { m_flags = m_saved; }
    CFlagRestore(const CFlagRestore&) = delete;
    CFlagRestore& operator=(const CFlagRestore&) = delete;

private:
    DWORD& m_flags;
    DWORD m_saved;
};

}  // namespace

CRegistry::CRegistry(DWORD flags) : m_flags(flags) {}

CRegistry::~CRegistry() {
    Close();
    DeleteEntries();
}

bool CRegistry::Open(const char* path, HKEY root, REGSAM access, bool reopen) {
    if (path == nullptr) {
        return false;
    }
    // The path may be the text or name of an entry that a fresh open deletes below.
    const std::string wanted(path);
    if (!reopen) {
        // The same path under another root is another key: its cache must not carry over.
        const bool sameKey =
            m_path && m_root == root && regtext::NamesEqualNoCase(*m_path, wanted, AnsiCase());
        if (!sameKey) {
            if (m_path) {
                DeleteEntries();
            }
            m_path = wanted;
        }
        m_root = root;
    }
    Close();

    if ((m_flags & OpenOnDemand) && !reopen) {
        access = KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY;
    } else if (m_flags & CreateIfMissing) {
        access |= KEY_CREATE_SUB_KEY;
    }

    HKEY key = nullptr;
    LSTATUS rc;
    if (m_flags & CreateIfMissing) {
        rc = RegCreateKeyExA(root, wanted.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr);
    } else {
        rc = RegOpenKeyExA(root, wanted.c_str(), 0, access, &key);
    }
    if (rc != ERROR_SUCCESS) {
        return false;
    }
    m_key.Reset(key);
    return reopen ? true : LoadAll();
}

bool CRegistry::EnsureOpen(REGSAM access) {
    if (m_key || !(m_flags & OpenOnDemand)) {
        return true;
    }
    if (!m_path) {
        return false;
    }
    // A reopen leaves the saved path alone, so it may be passed in.
    return Open(m_path->c_str(), m_root, access, true);
}

void CRegistry::Close() {
    m_key.Reset();
}

bool CRegistry::LoadAll() {
    if ((m_flags & OpenOnDemand) && !EnsureOpen(KEY_QUERY_VALUE)) {
        return false;
    }
    DWORD count = 0;
    if (!m_key ||
        RegQueryInfoKeyA(m_key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        if (m_flags & OpenOnDemand) {
            Close();
        }
        return false;
    }
    const DWORD saved = m_flags;
    {
        // Keep the key open and stop the entries from writing back while they are assigned.
        CFlagRestore restore(m_flags, saved);
        m_flags = (m_flags & ~OpenOnDemand) | Loading;

        std::vector<BYTE> data(kDataSize);
        if (m_entries.capacity() < count) {
            m_entries.reserve(count);
        }
        for (DWORD index = 0; index < count; ++index) {
            char name[kNameSize];
            DWORD nameLength = kNameSize;
            DWORD dataLength = kDataSize;
            DWORD type = REG_NONE;
            const LSTATUS rc = RegEnumValueA(m_key.Get(), index, name, &nameLength, nullptr, &type,
                                             data.data(), &dataLength);
            if (rc == ERROR_NO_MORE_ITEMS) {
                break;  // values were deleted meanwhile
            }
            if (rc != ERROR_SUCCESS || dataLength > kDataSize || nameLength >= kNameSize) {
                continue;  // too large for the buffers
            }
            // Other types, empty byte lists and short numbers are not loaded.
            const bool usable = type == REG_SZ || type == REG_MULTI_SZ ||
                                (type == REG_BINARY && dataLength > 0) ||
                                (type == REG_DWORD && dataLength >= sizeof(DWORD));
            if (usable) {
                name[nameLength] = '\0';
                LookupEntry(name).Load(type, data.data(), dataLength);
            }
        }
    }
    if (saved & OpenOnDemand) {
        Close();
    }
    return true;
}

CRegEntry& CRegistry::LookupEntry(const char* name) {
    std::string_view wanted(name ? name : "");
    if (wanted.size() >= CRegEntry::kNameSize) {
        wanted = wanted.substr(0, CRegEntry::kNameSize - 1);
    }
    const regtext::CodePageCase& cp = AnsiCase();
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (regtext::NamesEqualNoCase((*it)->m_name, wanted, cp)) {
            return **it;
        }
    }
    m_entries.push_back(std::make_unique<CRegEntry>(this, std::string(wanted).c_str()));
    return *m_entries.back();
}

bool CRegistry::KeyExists(const char* path, HKEY root) {
    CRegistry probe(0);
    return probe.Open(path, root, KEY_QUERY_VALUE, true);
}

void CRegistry::RefreshForRead() {
    if (!(m_flags & RefreshOnRead) || (m_flags & Loading)) {
        return;
    }
    if (m_key || ((m_flags & OpenOnDemand) && EnsureOpen(KEY_QUERY_VALUE))) {
        LoadAll();
    }
}

void CRegistry::DeleteEntries() {
    m_entries.clear();
}
