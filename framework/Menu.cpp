// CMenu: loading, ownership and popup tracking.
#include "Menu.h"

#include "WinApp.h"
#include "Wnd.h"

BOOL CMenu::LoadMenu(UINT id) {
    DestroyMenu();
    m_hMenu = ::LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
    m_owned = m_hMenu != nullptr;
    return m_owned;
}

BOOL CMenu::CreatePopupMenu() {
    DestroyMenu();
    m_hMenu = ::CreatePopupMenu();
    m_owned = m_hMenu != nullptr;
    return m_owned;
}

BOOL CMenu::CreateMenu() {
    DestroyMenu();
    m_hMenu = ::CreateMenu();
    m_owned = m_hMenu != nullptr;
    return m_owned;
}

BOOL CMenu::DestroyMenu() {
    m_subMenus.clear();
    BOOL destroyed = FALSE;
    if (m_hMenu && m_owned) {
        destroyed = ::DestroyMenu(m_hMenu);
    }
    m_hMenu = nullptr;
    m_owned = false;
    return destroyed;
}

BOOL CMenu::Attach(HMENU menu) {
    DestroyMenu();
    m_hMenu = menu;
    m_owned = menu != nullptr;
    return m_owned;
}

HMENU CMenu::Detach() {
    m_subMenus.clear();
    HMENU menu = m_hMenu;
    m_hMenu = nullptr;
    m_owned = false;
    return menu;
}

CMenu* CMenu::GetSubMenu(int position) const {
    HMENU sub = m_hMenu ? ::GetSubMenu(m_hMenu, position) : nullptr;
    if (!sub) {
        return nullptr;
    }
    std::unique_ptr<CMenu>& slot = m_subMenus[sub];
    if (!slot) {
        slot = std::make_unique<CMenu>();
        slot->m_hMenu = sub;  // borrowed: destroyed with the parent menu
    }
    return slot.get();
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, const RECT* rect) {
    if (!m_hMenu || !owner) {
        return FALSE;
    }
    return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner->m_hWnd, rect);
}
