// CMenuButton: a push button that drops down the first popup of a menu resource.
#pragma once

#include <memory>

#include "Button.h"
#include "Menu.h"

// Owns its menu (none until AttachMenu). The chosen command goes to the button's parent as an
// ordinary menu command.
class CMenuButton : public CButton {
public:
    // Replaces any previous menu by the menu resource `id` of the module.
    BOOL AttachMenu(UINT id);
    CMenu* GetMenu() const { return m_menu.get(); }

protected:
    void OnClicked();
    void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    std::unique_ptr<CMenu> m_menu;
};
