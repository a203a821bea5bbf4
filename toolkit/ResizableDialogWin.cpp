// The resizable dialog: frame change, initialisation, resize, erase and destroy handling.
#include "ResizableDialogWin.h"

BEGIN_MESSAGE_MAP(CResizableDialog, CDialog)
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_WM_ERASEBKGND()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CResizableDialog::CResizableDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

CResizableDialog::~CResizableDialog() = default;

BOOL CResizableDialog::MakeResizable() {
    // Dialog windows reach the object first at WM_INITDIALOG, still hidden: the frame is
    // changed here instead of at WM_CREATE.
    ModifyStyle(DS_MODALFRAME, WS_POPUP | WS_THICKFRAME);  // 0x80 off, 0x80040000 on
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    ::AdjustWindowRectEx(&rect, GetStyle(), ::GetMenu(m_hWnd) != nullptr, GetExStyle());
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return CreateSizeGrip();
}

BOOL CResizableDialog::OnInitDialog() {
    if (!MakeResizable()) {
        // Creation fails: a modal dialog returns -1, a modeless one goes away.
        if (IsModal()) {
            EndDialog(-1);
        } else {
            DestroyWindow();
        }
        return FALSE;
    }
    BOOL result = CDialog::OnInitDialog();
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    SetMinTrackSize(SIZE{window.right - window.left, window.bottom - window.top});
    UpdateSizeGrip();
    m_bInitDone = true;
    return result;
}

void CResizableDialog::PersistPlacement(const char* keyPath, BOOL rectOnly) {
    m_sSection = keyPath ? keyPath : "";
    m_bRectOnly = rectOnly;
    m_bEnableSaveRestore = TRUE;
    EnsureKey(m_sSection.c_str());
    LoadWindowRect(m_sSection.c_str(), m_bRectOnly);
}

void CResizableDialog::OnSize(UINT type, int cx, int cy) {
    CDialog::OnSize(type, cx, cy);
    if (type == SIZE_MAXSHOW || type == SIZE_MAXHIDE || !m_bInitDone) {
        return;
    }
    UpdateSizeGrip();
    ArrangeControls();
}

void CResizableDialog::OnGetMinMaxInfo(MINMAXINFO* info) {
    CDialog::OnGetMinMaxInfo(info);
    if (m_bInitDone) {
        MinMaxInfo(info);
    }
}

BOOL CResizableDialog::OnEraseBkgnd(CDC* pDC) {
    ClipChildren(pDC);
    return CDialog::OnEraseBkgnd(pDC);
}

void CResizableDialog::OnDestroy() {
    if (m_bEnableSaveRestore) {
        SaveWindowRect(m_sSection.c_str(), m_bRectOnly);
    }
    RemoveAllAnchors();
    m_bInitDone = false;
    CDialog::OnDestroy();
}
