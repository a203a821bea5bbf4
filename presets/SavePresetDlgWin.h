// CSavePresetDlg: asks for the name and description under which the current settings are
// saved as a preset.
#pragma once

#include <string>

#include "Dialog.h"

// Modal, on template 1011. OK keeps only the characters a preset name may hold and stays
// open (with a message) when none is left; on IDOK m_name holds the stored form.
class CSavePresetDlg : public CDialog {
public:
    CSavePresetDlg();

    std::string m_name;
    std::string m_description;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
};
