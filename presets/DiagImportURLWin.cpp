// The link dialog of the preset menu.
#include "presets/DiagImportURLWin.h"

#include "WinApp.h"
#include "presets/PresetLink.h"
#include "resource.h"

CDiagImportURL::CDiagImportURL() : CDialog(IDD_VG_IMPORT_URL) {}

void CDiagImportURL::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_VG_PRESET_LINK, m_link);
}

void CDiagImportURL::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    m_link = RemoveSpaces(m_link);
    if (!IsAcceptedPresetLink(m_link)) {
        AfxMessageBox("The preset link you enter does not seems right.\n  Please enter it again.",
                      MB_OK);
        return;
    }
    EndDialog(IDOK);
}
