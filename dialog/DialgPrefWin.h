// CDialgPref: the Preferences dialog, two check boxes over the dialog's preferences.
#pragma once

#include "Dialog.h"

// Modal, on template 1021. The caller fills the fields and reads them back after IDOK; the
// skin has no control and passes through unchanged.
class CDialgPref : public CDialog {
public:
    CDialgPref();

    int m_skin = 0;
    int m_popupHelp = 0;
    int m_panFaster = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
