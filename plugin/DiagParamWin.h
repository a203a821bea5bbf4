// CDiagParam: the Parameter Setting dialog, which shows the settings report and copies it to
// the clipboard.
#pragma once

#include <string>

#include "Dialog.h"
#include "Edit.h"

// Modal, on template 1012; m_text is the report, set before DoModal. The text cannot be
// edited, so nothing is taken back when it closes.
class CDiagParam : public CDialog {
public:
    CDiagParam();

    CEdit m_edit;
    std::string m_text;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    // "Copy to Clipboard and Close": the whole text through the edit box's own copy.
    void OnCopyAndClose();
    DECLARE_MESSAGE_MAP()
};
