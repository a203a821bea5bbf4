// CResizableDialog: a dialog from a fixed template made resizable, with anchored controls,
// a size grip, a minimum size and its placement kept in the registry.
#pragma once

#include <string>

#include "Dialog.h"
#include "ResizableGripWin.h"
#include "ResizableLayoutWin.h"
#include "ResizableMinMaxWin.h"
#include "ResizableStateWin.h"

// Lifecycle: not initialised after creation; initialised at the end of OnInitDialog (from
// then on every resize arranges the controls); at destroy the placement is saved (when
// PersistPlacement switched saving on) and the layout records are removed.
//
// A derived dialog calls CResizableDialog::OnInitDialog first, then AnchorControl for its
// controls, then PersistPlacement, whose restore arranges them.
class CResizableDialog : public CDialog,
                         public CResizableLayout,
                         public CResizableGrip,
                         public CResizableMinMax,
                         public CResizableState {
public:
    CResizableDialog() = default;
    explicit CResizableDialog(UINT templateId, CWnd* parent = nullptr);
    ~CResizableDialog() override;

    CWnd* HostWindow() override { return this; }
    BOOL OnInitDialog() override;

    using CResizableLayout::AnchorControl;
    // Switches saving on for `keyPath` (under HKEY_CURRENT_USER), creating the key, and
    // restores the stored placement at once.
    void PersistPlacement(const char* keyPath, BOOL rectOnly = FALSE);
    bool IsInitialised() const { return m_bInitDone; }

protected:
    void OnSize(UINT type, int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* info);
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnDestroy();
    DECLARE_MESSAGE_MAP()

    std::string m_sSection;
    BOOL m_bEnableSaveRestore = FALSE;
    BOOL m_bRectOnly = FALSE;
    bool m_bInitDone = false;

private:
    // Gives the window a sizing frame with its client area unchanged, and the grip.
    BOOL MakeResizable();
};
