// Command state of popup items.
#include "CmdUI.h"

#include "Menu.h"
#include "Wnd.h"

void CCmdUI::Enable(BOOL on) {
    if (m_pMenu && m_pMenu->m_hMenu) {
        ::EnableMenuItem(m_pMenu->m_hMenu, m_nIndex,
                         MF_BYPOSITION | (on ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    }
    m_enableChanged = true;
}

void CCmdUI::SetCheck(int check) {
    if (m_pMenu && m_pMenu->m_hMenu) {
        ::CheckMenuItem(m_pMenu->m_hMenu, m_nIndex,
                        MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
    }
}

void CCmdUI::SetText(const char* text) {
    if (!m_pMenu || !m_pMenu->m_hMenu || !text) {
        return;
    }
    MENUITEMINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(text);
    ::SetMenuItemInfoA(m_pMenu->m_hMenu, m_nIndex, TRUE, &info);
}

BOOL CCmdUI::DoUpdate(CWnd* target) {
    return target ? target->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this) : FALSE;
}
