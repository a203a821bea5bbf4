// The Preferences dialog.
#include "dialog/DialgPrefWin.h"

#include "resource.h"

CDialgPref::CDialgPref() : CDialog(IDD_VG_PREFERENCES) {}

void CDialgPref::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_VG_PREF_POPUP_HELP, m_popupHelp);
    DDX_Check(pDX, IDC_VG_PREF_PAN_FASTER, m_panFaster);
}
