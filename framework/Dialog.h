// CDialog: dialogs from templates, modal with the framework's own message loop or modeless.
#pragma once

#include <vector>

#include "DataExchange.h"
#include "Wnd.h"

struct CModalFrame;

// A dialog created from a template of the resource module. DoModal runs its own message loop,
// so every message passes through PreTranslateMessage (accelerators, tooltips) of the windows
// from its target up to the dialog. An exception thrown inside the dialog's (or any of its
// windows') handlers ends the loop; DoModal destroys the dialog and rethrows it.
//
// A dialog created with Create as a child window (a tab page) is a page of the nearest dialog
// above its parent: that dialog's UpdateData exchanges the pages first, then itself, and only
// the top-level dialog runs dialog navigation (IsDialogMessage), over the pages as nested
// control parents (WS_EX_CONTROLPARENT), so that Tab moves between the dialog and its pages.
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
    // Runs DoDataExchange of every page (in the order they were created) and then of this
    // dialog; FALSE when a value failed validation (the user has been told) and the exchange
    // stopped there.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    // This dialog's own DoDataExchange only.
    BOOL UpdateOwnData(BOOL saveAndValidate = TRUE);
    const std::vector<CDialog*>& GetPages() const { return m_pages; }

    // A top-level dialog translates its accelerators, then runs dialog navigation for key
    // messages of its windows; a page leaves both to the dialog it belongs to.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // The accelerator table translated against this dialog (borrowed; null for none).
    void SetAccelerators(HACCEL table) { m_hAccelTable = table; }
    HACCEL GetAccelerators() const { return m_hAccelTable; }
    BOOL TranslateAccelerators(MSG* pMsg);

    void GotoDlgCtrl(CWnd* control);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }

    UINT m_nIDTemplate = 0;
    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;

protected:
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    void OnNcDestroy();

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    // Joins the nearest dialog above `parent` as one of its pages.
    void JoinOwnerDialog(HWND parent);
    void LeaveOwnerDialog();

    CModalFrame* m_modal = nullptr;
    int m_nModalResult = -1;
    HACCEL m_hAccelTable = nullptr;
    CDialog* m_pOwnerDialog = nullptr;  // the dialog this page belongs to
    std::vector<CDialog*> m_pages;      // pages of this dialog, in creation order
};
