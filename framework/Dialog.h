// CDialog: dialogs from templates, modal with the framework's own message loop or modeless.
#pragma once

#include "DataExchange.h"
#include "Wnd.h"

struct CModalFrame;

// A dialog created from a template of the resource module. DoModal runs its own message loop,
// so every message passes through PreTranslateMessage (accelerators, tooltips) of the windows
// from its target up to the dialog. An exception thrown inside the dialog's (or any of its
// windows') handlers ends the loop; DoModal destroys the dialog and rethrows it.
class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Returns the value given to EndDialog, or -1 when the dialog could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless (a child page, for instance); it is destroyed with the object.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    bool IsModal() const { return m_modal != nullptr; }

    // Default: push member values to the controls; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // Default: pull and validate member values, then end with IDOK; stays open on failure.
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX) {}
    // Runs DoDataExchange; FALSE when a value failed validation (the user has been told).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Keyboard messages for this dialog's windows go through IsDialogMessage.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    void GotoDlgCtrl(CWnd* control);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }

    UINT m_nIDTemplate = 0;
    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

protected:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    CModalFrame* m_modal = nullptr;
    int m_nModalResult = -1;
};
