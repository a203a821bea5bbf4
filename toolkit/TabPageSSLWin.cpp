// Forwarding from a tab page to its tab control.
#include "TabPageSSLWin.h"

BOOL CTabPageSSL::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE) &&
        m_hWnd && (pMsg->hwnd == m_hWnd || ::IsChild(m_hWnd, pMsg->hwnd))) {
        LRESULT code = ::SendMessageA(pMsg->hwnd, WM_GETDLGCODE, pMsg->wParam,
                                      reinterpret_cast<LPARAM>(pMsg));
        if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) {
            return FALSE;  // a multi-line edit, for instance, takes its own Enter
        }
        if (pMsg->wParam == VK_RETURN) {
            OnOK();
        } else {
            OnCancel();
        }
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CTabPageSSL::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    bool forward = (message == WM_COMMAND && m_bRouteCommand) ||
                   (message == WM_NOTIFY && m_bRouteNotify);
    if (!forward) {
        return CDialog::OnWndMsg(message, wParam, lParam, pResult);
    }
    CDialog::OnWndMsg(message, wParam, lParam, pResult);
    HWND parent = ::GetParent(m_hWnd);
    if (!parent) {
        return TRUE;
    }
    *pResult = ::SendMessageA(parent, message, wParam, lParam);
    return TRUE;
}

BOOL CTabPageSSL::OnCmdMsg(UINT id, int code, void* pExtra) {
    BOOL handled = CDialog::OnCmdMsg(id, code, pExtra);
    if (m_bRouteCmdMsg && code == CN_EVENT) {
        CWnd* parent = CWnd::FromHandlePermanent(::GetParent(m_hWnd));
        if (parent) {
            handled = parent->OnCmdMsg(id, code, pExtra);
        }
    }
    return handled;
}
