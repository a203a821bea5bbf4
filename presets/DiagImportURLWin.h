// CDiagImportURL: asks for the web link of a preset file to import.
#pragma once

#include <string>

#include "Dialog.h"

// Modal, on template 1023. OK removes every space from the link and closes only when the
// link is an http or https address of a ".vpp" file; on IDOK m_link holds that form.
class CDiagImportURL : public CDialog {
public:
    CDiagImportURL();

    std::string m_link;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
};
