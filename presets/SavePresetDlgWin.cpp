// The save dialog of the preset menu.
#include "presets/SavePresetDlgWin.h"

#include "WinApp.h"
#include "presets/PresetFolder.h"
#include "resource.h"

namespace {

constexpr int kNameLimit = 32;
constexpr int kDescriptionLimit = 300;

}  // namespace

CSavePresetDlg::CSavePresetDlg() : CDialog(IDD_VG_SAVE_PRESET) {}

BOOL CSavePresetDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::SendDlgItemMessageA(m_hWnd, IDC_VG_PRESET_NAME, EM_LIMITTEXT, kNameLimit, 0);
    ::SendDlgItemMessageA(m_hWnd, IDC_VG_PRESET_DESCRIPTION, EM_LIMITTEXT, kDescriptionLimit, 0);
    return TRUE;
}

void CSavePresetDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_VG_PRESET_NAME, m_name);
    DDX_Text(pDX, IDC_VG_PRESET_DESCRIPTION, m_description);
}

void CSavePresetDlg::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    const std::string name = FilterTypedPresetName(m_name);
    if (name.empty()) {
        AfxMessageBox("You need to enter a preset name to be saved", MB_OK);
        if (CWnd* edit = GetDlgItem(IDC_VG_PRESET_NAME)) {
            GotoDlgCtrl(edit);
        }
        return;
    }
    m_name = name;
    EndDialog(IDOK);
}
