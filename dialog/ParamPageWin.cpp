// A parameter page: rows linked to the record, stored on drag end and focus loss.
#include "dialog/ParamPageWin.h"

#include "EditRules.h"
#include "WinApp.h"
#include "dialog/HelpTipWin.h"
#include "dialog/MyMFCDialogWin.h"
#include "plugin/FilterParams.h"
#include "plugin/MFCPlugInApp.h"

BEGIN_MESSAGE_MAP(CParamPage, CTabPageSSL)
ON_WM_HSCROLL()
END_MESSAGE_MAP()

CParamPage::CParamPage(UINT templateId, const ParamRow (&rows)[kRows])
    : CTabPageSSL(templateId), m_rows{rows[0], rows[1], rows[2]} {}

void CParamPage::DoDataExchange(CDataExchange* pDX) {
    for (int i = 0; i < kRows; ++i) {
        DDX_Control(pDX, static_cast<int>(m_rows[i].sliderId), m_slider[i]);
        DDX_Control(pDX, static_cast<int>(m_rows[i].editId), m_edit[i]);
        // Pushed values are shown in the row's own format, as the slider shows them, when that
        // text reads back as the same value; otherwise (7.6 in a whole-number row) in the
        // general form, so that leaving the box does not change the value.
        if (!pDX->m_bSaveAndValidate) {
            const std::string text =
                editrules::FormatReal(ParamInfoAt(m_rows[i].paramIndex).format, m_value[i]);
            if (static_cast<float>(editrules::ParseReal(text)) == m_value[i]) {
                pDX->PrepareEditCtrl(static_cast<int>(m_rows[i].editId));
                m_edit[i].SetWindowText(text.c_str());
                continue;
            }
        }
        DDX_Text(pDX, static_cast<int>(m_rows[i].editId), m_value[i]);
    }
}

BOOL CParamPage::OnInitDialog() {
    CTabPageSSL::OnInitDialog();
    LoadFromParams(true);
    CreateHelpTip(m_tooltip, this);
    SetPopupHelp(m_pDialog ? m_pDialog->m_popupHelp : true);
    return TRUE;
}

void CParamPage::SetPopupHelp(bool on) {
    m_tooltip.RemoveAllTools();
    if (!on || !m_tooltip.m_hWnd) {
        return;
    }
    for (const ParamRow& row : m_rows) {
        // Plain text: a "<" in it (the boost row's) is doubled so that it shows as written.
        const std::string text = help::Markup(AfxLoadString(help::kParamTexts[row.paramIndex]));
        m_tooltip.AddTool(::GetDlgItem(m_hWnd, static_cast<int>(row.sliderId)), text);
        m_tooltip.AddTool(::GetDlgItem(m_hWnd, static_cast<int>(row.editId)), text);
    }
}

void CParamPage::LoadFromParams(bool init) {
    const FilterParams* params = m_pDialog ? m_pDialog->m_pParams : nullptr;
    for (int i = 0; i < kRows; ++i) {
        const ParamInfo& info = ParamInfoAt(m_rows[i].paramIndex);
        if (params) {
            m_value[i] = static_cast<float>(GetParam(*params, m_rows[i].paramIndex));
        }
        if (init) {
            m_edit[i].LinkSlider(this, m_rows[i].sliderId);
            m_edit[i].SetRealRange(info.minimum, info.maximum, 3, info.format);
        }
        m_edit[i].ShowValue(m_value[i]);
    }
}

void CParamPage::ApplyPage() {
    UpdateData(TRUE);  // a bad text is reported; that row and the rows after it keep theirs
    if (!m_pDialog || !m_pDialog->m_pParams) {
        return;
    }
    for (int i = 0; i < kRows; ++i) {
        SetParam(*m_pDialog->m_pParams, m_rows[i].paramIndex, m_value[i]);
    }
}

void CParamPage::ResetPage() {
    for (int i = 0; i < kRows; ++i) {
        const ParamInfo& info = ParamInfoAt(m_rows[i].paramIndex);
        m_value[i] = static_cast<float>(info.defaultValue);
        m_edit[i].ShowValue(m_value[i]);
    }
    ApplyPage();
}

bool CParamPage::IsRowEdit(HWND window) const {
    for (const CSmartEdit& edit : m_edit) {
        if (window && edit.m_hWnd == window) {
            return true;
        }
    }
    return false;
}

void CParamPage::Refilter() {
    if (m_pDialog && m_pDialog->m_ready) {
        m_pDialog->procForProxy();
        m_pDialog->displayProxy(false);
    }
}

BOOL CParamPage::OnCommand(WPARAM wParam, LPARAM lParam) {
    // A number box that loses the focus stores this page's values, as the end of a drag does.
    if (HIWORD(wParam) == EN_KILLFOCUS && IsRowEdit(reinterpret_cast<HWND>(lParam)) && m_pDialog &&
        !m_pDialog->IsClosing()) {
        ApplyPage();
        Refilter();
        return TRUE;
    }
    return CTabPageSSL::OnCommand(wParam, lParam);
}

void CParamPage::OnHScroll(UINT code, UINT pos, CWnd* scrollBar) {
    // The page first, then the slider (reflection) that shows the position in its box.
    if (code == TB_ENDTRACK && m_pDialog && !m_pDialog->IsClosing()) {
        ApplyPage();
        Refilter();
    }
    CTabPageSSL::OnHScroll(code, pos, scrollBar);
}

BOOL CParamPage::PreTranslateMessage(MSG* pMsg) {
    if (m_pDialog && m_pDialog->PreTranslateShared(pMsg)) {
        return TRUE;
    }
    m_tooltip.RelayEvent(pMsg);
    return CTabPageSSL::PreTranslateMessage(pMsg);
}
