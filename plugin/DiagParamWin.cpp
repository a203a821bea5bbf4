// The Parameter Setting dialog.
#include "plugin/DiagParamWin.h"

#include "resource.h"

BEGIN_MESSAGE_MAP(CDiagParam, CDialog)
ON_BN_CLICKED(IDC_VG_COPY_AND_CLOSE, &CDiagParam::OnCopyAndClose)
END_MESSAGE_MAP()

CDiagParam::CDiagParam() : CDialog(IDD_VG_PARAM_SETTING) {}

void CDiagParam::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_VG_SETTINGS_TEXT, m_edit);
    DDX_Text(pDX, IDC_VG_SETTINGS_TEXT, m_text);
}

BOOL CDiagParam::OnInitDialog() {
    CDialog::OnInitDialog();
    m_edit.SetSel(0, 10);
    UpdateData(FALSE);
    return TRUE;
}

void CDiagParam::OnOK() {
    CDialog::OnOK();
}

void CDiagParam::OnCopyAndClose() {
    m_edit.SetSel(0, -1);
    m_edit.SendMessage(WM_COPY);
    OnOK();
}
