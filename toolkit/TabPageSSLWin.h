// CTabPageSSL: a modeless child dialog shown as one page of a CTabCtrlSSL.
#pragma once

#include "Dialog.h"

// Enter and Escape inside a page never close it (OK and Cancel do nothing), nor the dialog
// the page belongs to: the page takes them unless the focused control wants them itself.
// Every other key goes on to the dialog's navigation. With the matching switch on, commands,
// notifications and control events go on to the parent (the tab control) after the page's own
// handling, and the parent's answer is returned.
class CTabPageSSL : public CDialog {
public:
    CTabPageSSL() = default;
    explicit CTabPageSSL(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

    void OnOK() override {}
    void OnCancel() override {}
    BOOL PreTranslateMessage(MSG* pMsg) override;

    BYTE m_bRouteCommand = FALSE;
    BYTE m_bRouteCmdMsg = FALSE;
    BYTE m_bRouteNotify = FALSE;

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnCmdMsg(UINT id, int code, void* pExtra) override;
};
