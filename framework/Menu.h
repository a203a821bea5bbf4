// CMenu: menus and popup menus.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

class CWnd;

// Owns a menu it loaded or created; a submenu from GetSubMenu is borrowed from its parent and
// lives as long as the parent object.
class CMenu {
public:
    CMenu() = default;
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }

    // From the resource module.
    BOOL LoadMenu(UINT id);
    BOOL CreatePopupMenu();
    BOOL CreateMenu();
    BOOL DestroyMenu();
    BOOL Attach(HMENU menu);  // takes ownership
    HMENU Detach();

    CMenu* GetSubMenu(int position) const;
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, const char* text = nullptr) {
        return ::AppendMenuA(m_hMenu, flags, idOrPopup, text);
    }
    UINT CheckMenuItem(UINT id, UINT check) { return ::CheckMenuItem(m_hMenu, id, check); }
    UINT EnableMenuItem(UINT id, UINT enable) { return ::EnableMenuItem(m_hMenu, id, enable); }
    UINT GetMenuState(UINT id, UINT flags) const { return ::GetMenuState(m_hMenu, id, flags); }
    // Shows a popup menu; the owner receives the chosen command (or, with TPM_RETURNCMD, the
    // command is returned).
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect = nullptr);

private:
    bool m_owned = false;
    mutable std::map<HMENU, std::unique_ptr<CMenu>> m_subMenus;
};
