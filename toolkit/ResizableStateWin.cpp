// Saving and restoring the window placement in the registry.
#include "ResizableStateWin.h"

#include <string>

#include "LayoutMath.h"
#include "RegistryWin.h"

namespace {

constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// Restoring a placement must never leave the window unreachable: a hidden or minimised
// state, or an empty rectangle, is not taken from the stored text (layout::HasUsableRect).

UINT UsableShowCommand(int32_t show) {
    switch (show) {
        case SW_SHOWNORMAL:
        case SW_SHOWMAXIMIZED:
        case SW_SHOW:
        case SW_SHOWNA:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            return static_cast<UINT>(show);
        default:  // hide, minimise variants, and anything unknown
            return SW_SHOWNORMAL;
    }
}

}  // namespace

void CResizableState::EnsureKey(const char* keyPath) {
    if (!keyPath || !*keyPath) {
        return;
    }
    for (const std::string& level : layout::KeyPathLevels(keyPath)) {
        CRegistry registry(CRegistry::CreateIfMissing);
        registry.Open(level.c_str(), HKEY_CURRENT_USER, kAccess);
        registry.Close();
    }
}

BOOL CResizableState::SaveWindowRect(const char* keyPath, BOOL rectOnly) {
    CWnd* host = HostWindow();
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof(wp);
    if (!host || !host->m_hWnd || !::GetWindowPlacement(host->m_hWnd, &wp)) {
        return FALSE;
    }
    layout::Placement p;
    if (rectOnly) {
        RECT r;
        ::GetWindowRect(host->m_hWnd, &r);
        p = layout::Placement{r.left, r.top, r.right, r.bottom, SW_SHOWNORMAL, 0};
    } else {
        const RECT& r = wp.rcNormalPosition;
        p = layout::Placement{r.left,   r.top, r.right, r.bottom, static_cast<int32_t>(wp.showCmd),
                              static_cast<int32_t>(wp.flags)};
    }
    CRegistry registry(CRegistry::CreateIfMissing);
    if (!registry.Open(keyPath, HKEY_CURRENT_USER, kAccess)) {
        return FALSE;
    }
    registry.LookupEntry(kValueName).SetText(layout::FormatPlacement(p).c_str());
    return TRUE;
}

BOOL CResizableState::LoadWindowRect(const char* keyPath, BOOL rectOnly) {
    CWnd* host = HostWindow();
    if (!host || !host->m_hWnd) {
        return FALSE;
    }
    CRegistry registry(CRegistry::CreateIfMissing);
    if (!registry.Open(keyPath, HKEY_CURRENT_USER, kAccess)) {
        return FALSE;
    }
    const char* text = registry.LookupEntry(kValueName).GetText();
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof(wp);
    if (!text || !*text || !::GetWindowPlacement(host->m_hWnd, &wp)) {
        return FALSE;
    }
    auto stored = layout::ParsePlacement(text);
    if (!stored || !layout::HasUsableRect(*stored)) {
        return FALSE;
    }
    if (rectOnly) {
        ::SetWindowPos(host->m_hWnd, nullptr, stored->left, stored->top,
                       stored->right - stored->left, stored->bottom - stored->top,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    } else {
        wp.rcNormalPosition = RECT{stored->left, stored->top, stored->right, stored->bottom};
        wp.showCmd = UsableShowCommand(stored->showCmd);
        wp.flags = static_cast<UINT>(stored->flags) & (WPF_SETMINPOSITION | WPF_RESTORETOMAXIMIZED);
        ::SetWindowPlacement(host->m_hWnd, &wp);
    }
    return TRUE;
}
