// CDialog: creation from templates, the modal loop and data exchange entry points.
#include "Dialog.h"

#include <algorithm>

#include "ModalFrame.h"
#include "WinApp.h"

// Dialogs bind their object at WM_INITDIALOG and are subclassed from then on, so everything
// later reaches WindowProc; the dialog manager's own default handling stays underneath.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    if (!dialog || CWnd::FromHandlePermanent(hWnd)) {
        return FALSE;  // default processing re-entering from our own handler
    }
    ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    dialog->BindHandle(hWnd);
    if (!dialog->InstallSubclass(hWnd)) {
        return FALSE;
    }
    // A page joins its dialog before its own initialisation, so that it is exchanged and
    // navigated as part of it from the start.
    if (::GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD) {
        dialog->JoinOwnerDialog(::GetParent(hWnd));
        ::SetWindowLongPtrA(hWnd, GWL_EXSTYLE,
                            ::GetWindowLongPtrA(hWnd, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    }
    return dialog->Dispatch(WM_INITDIALOG, wParam, lParam);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
    ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_nIDHelp(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    LeaveOwnerDialog();
    for (CDialog* page : m_pages) {
        page->m_pOwnerDialog = nullptr;
    }
    m_pages.clear();
}

void CDialog::JoinOwnerDialog(HWND parent) {
    for (HWND h = parent; h; h = ::GetParent(h)) {
        if (auto* owner = dynamic_cast<CDialog*>(FromHandlePermanent(h))) {
            if (owner != this) {
                LeaveOwnerDialog();
                m_pOwnerDialog = owner;
                owner->m_pages.push_back(this);
            }
            return;
        }
    }
}

void CDialog::LeaveOwnerDialog() {
    if (m_pOwnerDialog) {
        auto& pages = m_pOwnerDialog->m_pages;
        pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
        m_pOwnerDialog = nullptr;
    }
}

void CDialog::OnNcDestroy() {
    LeaveOwnerDialog();
    CWnd::OnNcDestroy();
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    // A copy: an exchange may not add or remove pages, but a failure message may run a loop.
    const std::vector<CDialog*> pages = m_pages;
    for (CDialog* page : pages) {
        if (page->m_hWnd && !page->UpdateData(saveAndValidate)) {
            return FALSE;
        }
    }
    return UpdateOwnData(saveAndValidate);
}

BOOL CDialog::UpdateOwnData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd) {
        return FALSE;
    }
    m_nIDTemplate = templateId;
    if (!m_nIDHelp) {
        m_nIDHelp = templateId;
    }
    m_pParentWnd = parent;
    HWND hWnd;
    {
        CActivationScope scope;
        hWnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId),
                                    parent ? parent->m_hWnd : nullptr, AfxDlgProc,
                                    reinterpret_cast<LPARAM>(this));
    }
    if (!hWnd) {
        return FALSE;
    }
    SetOwnsWindow(true);
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd) {
        return -1;
    }
    HWND owner = m_pParentWnd ? ::GetAncestor(m_pParentWnd->m_hWnd, GA_ROOT) : ::GetActiveWindow();
    CModalFrame frame;
    AfxPushModalFrame(&frame);
    m_modal = &frame;
    m_nModalResult = -1;
    // An exception left by a procedure that ran outside any loop belongs to this caller.
    frame.error = AfxTakePendingException();

    // The owner is disabled before creation, so it is already disabled in OnInitDialog.
    bool reenableOwner = false;
    if (owner && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        reenableOwner = true;
    }
    HWND hWnd = nullptr;
    if (!frame.error) {
        CActivationScope scope;
        hWnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                    owner, AfxDlgProc, reinterpret_cast<LPARAM>(this));
    }
    frame.dialog = hWnd;
    if (hWnd) {
        SetOwnsWindow(true);
        if (!frame.ended && !frame.error) {
            ::ShowWindow(hWnd, SW_SHOW);
        }
        while (!frame.ended && !frame.error && ::IsWindow(hWnd)) {
            MSG msg;
            BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0) {
                // WM_QUIT belongs to the outer loop: put it back and give up the dialog.
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                m_nModalResult = -1;
                break;
            }
            if (got == -1) {
                break;
            }
            try {
                if (!AfxPreTranslateMessage(&msg, hWnd)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageA(&msg);
                }
            } catch (...) {
                frame.error = std::current_exception();
            }
        }
    }
    // Re-enable the owner before the dialog goes, so activation returns to it.
    if (reenableOwner) {
        ::EnableWindow(owner, TRUE);
    }
    if (owner && hWnd && ::GetActiveWindow() == hWnd) {
        ::SetActiveWindow(owner);
    }
    if (m_hWnd) {
        DestroyWindow();
    }
    m_modal = nullptr;
    AfxPopModalFrame(&frame);
    if (frame.error) {
        std::rethrow_exception(frame.error);
    }
    return hWnd ? m_nModalResult : -1;
}

void CDialog::EndDialog(int result) {
    if (m_modal) {
        m_nModalResult = result;
        m_modal->ended = true;
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::TranslateAccelerators(MSG* pMsg) {
    if (!m_hAccelTable || !m_hWnd) {
        return FALSE;
    }
    if (pMsg->message != WM_KEYDOWN && pMsg->message != WM_SYSKEYDOWN &&
        pMsg->message != WM_CHAR && pMsg->message != WM_SYSCHAR) {
        return FALSE;
    }
    return ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, pMsg) != 0;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (!m_hWnd || (GetStyle() & WS_CHILD)) {
        return FALSE;  // a page: its dialog navigates over it
    }
    if (TranslateAccelerators(pMsg)) {
        return TRUE;
    }
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) {
        return FALSE;
    }
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control) {
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), TRUE);
    }
}

void CDialog::NextDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 0, 0); }

void CDialog::PrevDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 1, 0); }
