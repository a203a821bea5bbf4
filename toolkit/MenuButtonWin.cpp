// The menu button: loading its menu and showing it below the button.
#include "MenuButtonWin.h"

BEGIN_MESSAGE_MAP(CMenuButton, CButton)
    ON_CONTROL_REFLECT(BN_CLICKED, &CMenuButton::OnClicked)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CMenuButton::AttachMenu(UINT id) {
    m_menu.reset();
    auto menu = std::make_unique<CMenu>();
    if (!menu->LoadMenu(id)) {
        return FALSE;
    }
    m_menu = std::move(menu);
    return TRUE;
}

void CMenuButton::OnClicked() {
    CMenu* popup = m_menu ? m_menu->GetSubMenu(0) : nullptr;
    CWnd* parent = GetParent();
    if (!popup || !parent) {
        return;
    }
    RECT r;
    GetWindowRect(&r);
    popup->TrackPopupMenu(0, r.left, r.bottom, parent);
}

void CMenuButton::OnDestroy() {
    m_menu.reset();
    CButton::OnDestroy();
}
