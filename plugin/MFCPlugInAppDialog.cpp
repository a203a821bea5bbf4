// The call site of the modal filter dialog.
#include "MFCPlugInApp.h"

#include "dialog/MyMFCDialogWin.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

void MyMFCDialogDeleter::operator()(MyMFCDialog* dialog) const {
    delete dialog;
}

int CMFCPlugInApp::RunDialog() {
    dialog.reset(new MyMFCDialog());
    WriteTrace("PX:DoUI()", "MyMFCDialog created");
    dialog->m_pFilterRecord = filterRecord;
    dialog->m_pParams = params;
    // The dialog is owned by the host's window for dialogs, else by the thread's active
    // window; the framework disables that owner while the dialog runs, so the host cannot be
    // used (or call the plug-in again) meanwhile, and enables it again on every way out.
    const auto* platform = static_cast<const ps::PlatformData*>(filterRecord->platformData);
    const HWND hostWindow = platform ? reinterpret_cast<HWND>(platform->hwnd) : nullptr;
    if (hostWindow && ::IsWindow(hostWindow))
        dialog->m_pParentWnd = CWnd::FromHandle(hostWindow);
    const INT_PTR answer = dialog->DoModal();
    dialog.reset();
    // -1: the dialog could not be made at all, which is a failure, not the user's cancel.
    if (answer == -1)
        FailMessage("The Varen Glaze 2 dialog could not be opened.");
    return int(answer);
}
