// CCmdUI: the state of one command's menu item, asked of the command's handler before its
// popup opens (ON_UPDATE_COMMAND_UI).
#pragma once

#include <windows.h>

class CMenu;
class CWnd;

// One item of a popup, identified by position. Handlers that do not answer leave the item as
// the menu resource has it.
class CCmdUI {
public:
    CCmdUI(CMenu* menu, UINT index, UINT id) : m_pMenu(menu), m_nIndex(index), m_nID(id) {}
    virtual ~CCmdUI() = default;

    CMenu* m_pMenu;
    UINT m_nIndex;
    UINT m_nID;

    virtual void Enable(BOOL on = TRUE);
    // 0 unchecked, 1 checked.
    virtual void SetCheck(int check = 1);
    virtual void SetText(const char* text);

    // Offers the item to `target`'s command routing; TRUE when a handler answered.
    BOOL DoUpdate(CWnd* target);
    bool IsEnableChanged() const { return m_enableChanged; }

private:
    bool m_enableChanged = false;
};
