// The call site of the modal filter dialog.
#include "MFCPlugInApp.h"

#include "plugin/PluginFailure.h"

void MyMFCDialogDeleter::operator()(MyMFCDialog* dialog) const {
    // No dialog object is ever made while the dialog is not part of the build.
    (void)dialog;
}

int CMFCPlugInApp::RunDialog() {
    // The interactive dialog is not part of this build yet: say so rather than filter with
    // values the user never saw.
    FailMessage(
        "The Varen Glaze 2 dialog is not available in this build; "
        "run the filter with recorded values.");
}
