// The filter dialog: construction, initialisation, commands, notifications, keyboard and the
// end of the dialog. The preview's part is in MyMFCDialogPreviewWin.cpp.
#include "dialog/MyMFCDialogWin.h"

#include <shellapi.h>

#include <cstdio>
#include <utility>

#include "DibSection.h"
#include "RegistrySettingsWin.h"
#include "WinApp.h"
#include "UpdateCheckWin.h"
#include "dialog/HelpTipWin.h"
#include "dialog/DialgPrefWin.h"
#include "dialog/PreviewMath.h"
#include "plugin/DiagParamWin.h"
#include "plugin/MFCPlugInApp.h"
#include "plugin/ProductInfo.h"
#include "plugin/TraceLog.h"
#include "presets/PresetFolder.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleMs = 500;

// Opens a document or web page the way the shell does; nothing is reported when it cannot.
void OpenWithShell(const std::string& target) {
    if (!target.empty()) {
        ::ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

HICON LoadDialogIcon(int size) {
    return static_cast<HICON>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_VG_MAIN),
                                           IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

BEGIN_MESSAGE_MAP(MyMFCDialog, CResizableDialog)
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
ON_WM_CAPTURECHANGED()
ON_WM_SIZE()
ON_WM_TIMER()
ON_WM_DESTROY()
ON_COMMAND(IDC_VG_ZOOM_OUT, &MyMFCDialog::OnZoomOut)
ON_COMMAND(IDC_VG_ZOOM_IN, &MyMFCDialog::OnZoomIn)
ON_COMMAND(IDC_VG_ZOOM_FIT, &MyMFCDialog::OnZoomFit)
ON_COMMAND(IDC_VG_ZOOM_100, &MyMFCDialog::OnZoom100)
ON_COMMAND(IDC_VG_RESET_ALL, &MyMFCDialog::OnResetAll)
ON_COMMAND(IDC_VG_RESET_TAB, &MyMFCDialog::OnResetTab)
ON_COMMAND(IDC_VG_SNAP1, &MyMFCDialog::OnSnap1)
ON_COMMAND(IDC_VG_SNAP2, &MyMFCDialog::OnSnap2)
ON_COMMAND(IDC_VG_RECALL1, &MyMFCDialog::OnRecall1)
ON_COMMAND(IDC_VG_RECALL2, &MyMFCDialog::OnRecall2)
ON_COMMAND(IDC_VG_REFRESH, &MyMFCDialog::OnRefresh)
ON_COMMAND(ID_VG_PREFERENCES, &MyMFCDialog::OnPreferences)
ON_COMMAND(ID_VG_CHECK_UPDATE, &MyMFCDialog::OnCheckUpdate)
ON_COMMAND(ID_VG_USERS_GUIDE, &MyMFCDialog::OnUsersGuide)
ON_COMMAND(ID_VG_TECH_SUPPORT, &MyMFCDialog::OnTechSupport)
ON_COMMAND(ID_VG_ONLINE_RESOURCE, &MyMFCDialog::OnOnlineResource)
ON_COMMAND(ID_VG_ABOUT, &MyMFCDialog::OnAbout)
ON_COMMAND(ID_VG_COPY_SETTINGS, &MyMFCDialog::OnCopySettings)
ON_COMMAND(ID_VG_LUCKY, &MyMFCDialog::OnLucky)
ON_COMMAND(ID_VG_VERY_LUCKY, &MyMFCDialog::OnVeryLucky)
ON_COMMAND(ID_VG_TOGGLE_VIEW, &MyMFCDialog::OnToggleView)
ON_COMMAND(ID_VG_PRESET_SAVE, &MyMFCDialog::OnPresetSave)
ON_COMMAND(ID_VG_PRESET_DELETE, &MyMFCDialog::OnPresetDelete)
ON_COMMAND(ID_VG_PRESET_IMPORT, &MyMFCDialog::OnPresetImport)
ON_COMMAND(ID_VG_PRESET_IMPORT_URL, &MyMFCDialog::OnPresetImportUrl)
ON_COMMAND(ID_VG_PRESET_EXPORT, &MyMFCDialog::OnPresetExport)
END_MESSAGE_MAP()

MyMFCDialog::MyMFCDialog() : CResizableDialog(IDD_VG_MAIN) {
    m_iconBig.Reset(LoadDialogIcon(::GetSystemMetrics(SM_CXICON)));
    m_iconSmall.Reset(LoadDialogIcon(::GetSystemMetrics(SM_CXSMICON)));
    m_accelerators.Reset(
        ::LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_VG_ACCELERATORS)));
    SetAccelerators(m_accelerators.Get());

    LoadPreferences();

    const std::string install = ReadInstallFolder();
    if (!install.empty()) {
        std::string base = install;
        if (base.back() != '\\') {
            base += '\\';
        }
        m_etcFolder = base + "etc\\";
        m_guidePath = base + "Docs\\UsersGuide.pdf";
        m_presets.rescan(PresetFolderFromInstallPath(install), "VarenGlaze");
        m_presetsSet = true;
    }
}

MyMFCDialog::~MyMFCDialog() {
    SavePreferences();
    SetAccelerators(nullptr);
    m_accelerators.Reset();
}

void MyMFCDialog::LoadPreferences() {
    // Without the key the first-run values stay; a missing value reads as 0.
    StoredPreferences prefs;
    prefs.skin = m_skin;
    prefs.popupHelp = m_popupHelp;
    prefs.panFaster = m_panFaster;
    prefs.listView = m_presetPanel.m_listView;
    LoadStoredPreferences(prefs);
    m_skin = prefs.skin;
    m_popupHelp = prefs.popupHelp;
    m_panFaster = prefs.panFaster;
    m_presetPanel.m_listView = prefs.listView;
}

void MyMFCDialog::SavePreferences() {
    StoredPreferences prefs;
    prefs.skin = m_skin;
    prefs.popupHelp = m_popupHelp;
    prefs.panFaster = m_panFaster;
    prefs.listView = m_presetPanel.m_listView;
    SaveStoredPreferences(prefs);
}

void MyMFCDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_VG_ZOOM_BOX, m_zoomPercent);
    DDX_Text(pDX, IDC_VG_MODE_TEXT, m_previewModeText);
    DDX_Control(pDX, IDC_VG_TABS, m_tab);
    DDX_Control(pDX, IDC_VG_PRESET_LIST, m_presetList);
    DDX_Control(pDX, IDC_VG_SHOW_ORIGINAL, m_showOriginal);
    DDX_Control(pDX, IDC_VG_MENU_BUTTON, m_menuButton);
    DDX_Control(pDX, IDC_VG_PRESET_BUTTON, m_presetButton);
    DDX_Control(pDX, IDC_VG_NAVIGATOR, m_nav);
    DDX_Control(pDX, IDC_VG_PREVIEW, m_preview);
}

BOOL MyMFCDialog::OnInitDialog() {
    WriteTrace("PX Dlg OnInitDialog", "begin");
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                           ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    m_preview.m_pDialog = this;
    CResizableDialog::OnInitDialog();
    m_showOriginal.m_pDialog = this;

    using namespace layout;
    AnchorControl(IDC_VG_PRESET_LIST, kTopLeft, kBottomLeft);
    for (UINT id : {IDC_VG_REFRESH, IDC_VG_PRESET_BUTTON, IDC_VG_SNAP1, IDC_VG_RECALL1,
                    IDC_VG_SNAP2, IDC_VG_RECALL2}) {
        AnchorControl(id, kBottomLeft);
    }
    AnchorControl(IDC_VG_PREVIEW, kTopLeft, kBottomRight);
    for (UINT id : {IDC_VG_ZOOM_IN, IDC_VG_ZOOM_OUT, IDC_VG_ZOOM_FIT, IDC_VG_ZOOM_100,
                    IDC_VG_ZOOM_BOX, IDC_VG_PERCENT}) {
        AnchorControl(id, kBottomLeft);
    }
    AnchorControl(IDC_VG_SHOW_ORIGINAL, kBottomCenter);
    AnchorControl(IDC_VG_MODE_LABEL, kBottomRight);
    AnchorControl(IDC_VG_MODE_TEXT, kBottomRight);
    for (UINT id : {IDC_VG_EMBLEM, IDC_VG_RESET_TAB, IDC_VG_RESET_ALL}) {
        AnchorControl(id, kBottomLeft);
    }
    AnchorControl(IDC_VG_TABS, kBottomLeft, kBottomRight);
    for (UINT id : {IDC_VG_NAVIGATOR, IDCANCEL, IDOK, IDC_VG_MENU_BUTTON}) {
        AnchorControl(id, kBottomRight);
    }

    CParamPage* pages[3] = {&m_page1, &m_page2, &m_page3};
    const char* titles[3] = {"  Clean  ", "  Edges  ", " Texture "};
    const UINT templates[3] = {IDD_VG_PAGE_CLEAN, IDD_VG_PAGE_EDGES, IDD_VG_PAGE_TEXTURE};
    for (int i = 0; i < 3; ++i) {
        pages[i]->m_pDialog = this;
        pages[i]->Create(templates[i], this);
        m_tab.AppendPage(titles[i], i, pages[i]);
    }

    m_menuButton.AttachMenu(IDR_VG_MENU);
    m_presetButton.AttachMenu(IDR_VG_PRESET_MENU);
    SetIcon(m_iconBig.Get(), TRUE);
    SetIcon(m_iconSmall.Get(), FALSE);
    LoadEmblem();

    m_presetPanel.SetUpList();

    PushAll();
    setZoom(0.0000001, false);  // lands on the fit zoom
    PushAll();

    m_ready = true;
    m_nav.BuildOverview();

    setZoom(1.0, true);  // opens at 100 %, centred on the filter rectangle
    PushAll();

    SetupFilterRecordForProxy();
    loadThumbNails();
    if (m_presetPanel.m_listView) {
        // The list of names renders nothing, the preview included: filter it here.
        procForProxy();
        displayProxy(false);
    }
    EnableRefresh();

    m_settleTimer = SetTimer(kSettleTimer, kSettleMs);

    CreateHelpTip(m_tooltip, this);
    SetPopupHelp(m_popupHelp);

    PersistPlacement(kProductKey, FALSE);
    WriteTrace("PX Dlg OnInitDialog", "end");
    return TRUE;
}

void MyMFCDialog::LoadEmblem() {
    // The emblem's edges are blended onto the face colour here, so it sits cleanly on it.
    CBitmapHandle source(
        static_cast<HBITMAP>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDB_VG_EMBLEM),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    DIBSECTION info = {};
    if (!source || ::GetObjectA(source.Get(), sizeof(info), &info) != sizeof(info) ||
        info.dsBm.bmBitsPixel != 32 || !info.dsBm.bmBits) {
        return;
    }
    const int w = info.dsBm.bmWidth;
    const int h = info.dsBm.bmHeight;
    CDibSection composed;
    if (!composed.Create(w, h, 24)) {
        return;
    }
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const int faceRgb[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
    for (int y = 0; y < h; ++y) {
        // Both are bottom-up with the same row order.
        const auto* s = static_cast<const uint8_t*>(info.dsBm.bmBits) + y * info.dsBm.bmWidthBytes;
        uint8_t* d = composed.StoredRow(y);
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
            const int a = s[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = static_cast<uint8_t>((s[c] * a + faceRgb[c] * (255 - a) + 127) / 255);
            }
        }
    }
    // The dialog keeps the bitmap; the static only shows it.
    m_emblem = std::move(composed);
    ::SendDlgItemMessageA(m_hWnd, IDC_VG_EMBLEM, STM_SETIMAGE, IMAGE_BITMAP,
                          reinterpret_cast<LPARAM>(m_emblem.GetHandle()));
}

CParamPage* MyMFCDialog::PageAt(int index) {
    switch (index) {
        case 0:
            return &m_page1;
        case 1:
            return &m_page2;
        case 2:
            return &m_page3;
        default:
            return nullptr;
    }
}

void MyMFCDialog::RefreshPages() {
    m_page1.LoadFromParams(false);
    m_page2.LoadFromParams(false);
    m_page3.LoadFromParams(false);
}

void MyMFCDialog::Refresh() {
    PushAll();
    procForProxy();
    displayProxy(false);
}

void MyMFCDialog::UpdateButtons() {
    const preview::ZoomButtons zoom = preview::ZoomButtonStates(m_zoom, getFitZoom());
    auto enable = [this](int id, bool on) {
        if (CWnd* button = GetDlgItem(id)) {
            if ((button->IsWindowEnabled() != FALSE) != on) {
                button->EnableWindow(on);
            }
        }
    };
    enable(IDC_VG_ZOOM_OUT, zoom.zoomOut);
    enable(IDC_VG_ZOOM_IN, zoom.zoomIn);
    enable(IDC_VG_ZOOM_FIT, zoom.fit);
    enable(IDC_VG_ZOOM_100, zoom.hundred);
    enable(IDC_VG_RECALL1, m_snapshot1.valid);
    enable(IDC_VG_RECALL2, m_snapshot2.valid);
    // Only the dialog's own controls: the pages' boxes may hold a value being typed.
    UpdateOwnData(FALSE);
}

void MyMFCDialog::SetPopupHelp(bool on) {
    m_tooltip.RemoveAllTools();
    if (on && m_tooltip.m_hWnd) {
        for (const help::Tool& tool : help::kDialogTools) {
            m_tooltip.AddTool(GetDlgItem(tool.control), tool.text);
        }
    }
    for (CParamPage* page : {static_cast<CParamPage*>(&m_page1), static_cast<CParamPage*>(&m_page2),
                             static_cast<CParamPage*>(&m_page3)}) {
        page->SetPopupHelp(on);
    }
    m_popupHelp = on;
}

void MyMFCDialog::RelayToTips(const MSG* pMsg) {
    m_tooltip.RelayEvent(pMsg);
    // A page's tooltip sees its page's messages there; here it sees all others, so that its
    // tip goes when the mouse leaves the page for one of the dialog's controls.
    for (CParamPage* page : {static_cast<CParamPage*>(&m_page1), static_cast<CParamPage*>(&m_page2),
                             static_cast<CParamPage*>(&m_page3)}) {
        if (page->m_hWnd && pMsg->hwnd != page->m_hWnd && !::IsChild(page->m_hWnd, pMsg->hwnd)) {
            page->m_tooltip.RelayEvent(pMsg);
        }
    }
}

void MyMFCDialog::GetPreviewPlacement(double& zoom, int32_t& originX, int32_t& originY) {
    zoom = m_zoom;
    originX = m_originX;
    originY = m_originY;
}

void MyMFCDialog::SetPresetRows(const PresetValues& values) {
    // Through the record: each page takes its rows from it as its row values and shows them,
    // then stores what its boxes show back into it.
    if (!m_pParams) {
        return;
    }
    for (int i = 0; i < kParamCount; ++i) {
        SetParam(*m_pParams, i, values[i]);
    }
    for (int i = 0; i < 3; ++i) {
        PageAt(i)->LoadFromParams(false);
    }
    for (int i = 0; i < 3; ++i) {
        PageAt(i)->ApplyPage();
    }
}

PresetValues MyMFCDialog::GetPresetRows() {
    // The pages list their rows in record order: page p, row r holds parameter 3p + r.
    PresetValues values{};
    for (int p = 0; p < 3; ++p) {
        for (int r = 0; r < CParamPage::kRows; ++r) {
            values[p * CParamPage::kRows + r] = PageAt(p)->RowValue(r);
        }
    }
    return values;
}

void MyMFCDialog::EnableRefresh() {
    if (CWnd* refresh = GetDlgItem(IDC_VG_REFRESH)) {
        refresh->EnableWindow(!m_presetPanel.m_listView);
    }
}

BOOL MyMFCDialog::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->idFrom == IDC_VG_TABS &&
        header->code == static_cast<UINT>(TCN_SELCHANGE)) {
        RefreshPages();
        const int selected = m_tab.GetCurSel();
        if (selected != m_lastTab) {
            UpdateButtons();
            m_lastTab = selected;
        }
    }
    if (header && header->idFrom == IDC_VG_PRESET_LIST &&
        header->code == static_cast<UINT>(LVN_ITEMCHANGED)) {
        m_presetPanel.OnItemChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
    }
    return CResizableDialog::OnNotify(wParam, lParam, pResult);
}

BOOL MyMFCDialog::PreTranslateShared(MSG* pMsg) {
    if (TranslateAccelerators(pMsg)) {
        return TRUE;
    }
    if (pMsg->wParam == VK_SPACE && (pMsg->message == WM_KEYDOWN || pMsg->message == WM_KEYUP)) {
        m_showOriginal.m_showOriginal = pMsg->message == WM_KEYDOWN;
        displayProxy(false);
        return TRUE;
    }
    return FALSE;
}

BOOL MyMFCDialog::PreTranslateMessage(MSG* pMsg) {
    if (PreTranslateShared(pMsg)) {
        return TRUE;
    }
    RelayToTips(pMsg);
    return CResizableDialog::PreTranslateMessage(pMsg);
}

void MyMFCDialog::OnOK() {
    // Enter pressed while a number box has the focus: its value counts as if the box had
    // lost the focus (as a click on OK makes it), so the image is filtered with what is shown.
    const HWND focus = ::GetFocus();
    for (CParamPage* page : {static_cast<CParamPage*>(&m_page1), static_cast<CParamPage*>(&m_page2),
                             static_cast<CParamPage*>(&m_page3)}) {
        if (page->IsRowEdit(focus)) {
            page->ApplyPage();
        }
    }
    if (!UpdateData(TRUE)) {
        return;  // a number box holds no number: the user has been told, the dialog stays
    }
    m_closing = true;
    EndDialog(IDOK);
}

void MyMFCDialog::OnCancel() {
    m_closing = true;
    EndDialog(IDCANCEL);
}

void MyMFCDialog::OnDestroy() {
    m_closing = true;
    if (m_settleTimer) {
        KillTimer(m_settleTimer);
        m_settleTimer = 0;
    }
    m_presetPanel.ReleaseList();
    CResizableDialog::OnDestroy();
}

void MyMFCDialog::OnResetAll() {
    m_page1.ResetPage();
    m_page2.ResetPage();
    m_page3.ResetPage();
    Refresh();
}

void MyMFCDialog::OnResetTab() {
    if (CParamPage* page = PageAt(m_tab.GetCurSel())) {
        page->ResetPage();
    }
    Refresh();
}

void MyMFCDialog::TakeSnapshot(Snapshot& snapshot) {
    if (!m_pParams) {
        return;
    }
    CMFCPlugInApp::Get().copyParams(m_pParams, &snapshot.params);
    snapshot.valid = true;
    UpdateButtons();
}

void MyMFCDialog::Recall(const Snapshot& snapshot) {
    if (!snapshot.valid || !m_pParams) {
        return;
    }
    CMFCPlugInApp::Get().copyParams(&snapshot.params, m_pParams);
    RefreshPages();
    Refresh();
}

void MyMFCDialog::OnLucky() {
    const int index = m_tab.GetCurSel();
    if (CParamPage* page = PageAt(index)) {
        CMFCPlugInApp::Get().Randomize(index);
        page->LoadFromParams(true);
    }
    Refresh();
}

void MyMFCDialog::OnVeryLucky() {
    CMFCPlugInApp::Get().Randomize(100);
    RefreshPages();
    Refresh();
}

void MyMFCDialog::OnRefresh() {
    loadThumbNails();
}

void MyMFCDialog::OnToggleView() {
    m_presetPanel.m_listView = !m_presetPanel.m_listView;
    EnableRefresh();
    loadThumbNails();
}

void MyMFCDialog::OnPreferences() {
    CDialgPref dialog;
    dialog.m_panFaster = m_panFaster;
    dialog.m_popupHelp = m_popupHelp;
    dialog.m_skin = m_skin;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    // Stored when the dialog closes, whichever way it closes.
    m_panFaster = dialog.m_panFaster != 0;
    if ((dialog.m_popupHelp != 0) != m_popupHelp) {
        SetPopupHelp(dialog.m_popupHelp != 0);
    }
}

void MyMFCDialog::OnCheckUpdate() {
    CUpdateCheck check;
    check.CheckVersion(kUpdateAddress, VG_VERSION_MAJOR, VG_VERSION_MINOR, VG_VERSION_PATCH);
}

void MyMFCDialog::OnCopySettings() {
    CDiagParam dialog;
    dialog.m_text = CMFCPlugInApp::Get().BuildSettingsText();
    dialog.DoModal();
}

void MyMFCDialog::OnUsersGuide() {
    OpenWithShell(m_guidePath);
}

void MyMFCDialog::OnTechSupport() {
    OpenWithShell(kSupportPage);
}

void MyMFCDialog::OnOnlineResource() {
    OpenWithShell(kProductPage);
}

void MyMFCDialog::OnAbout() {
    char text[512];
    std::snprintf(text, sizeof text, "%s  -  Version: %d.%d.%d\n\n%s\n%s", kProductName,
                  VG_VERSION_MAJOR, VG_VERSION_MINOR, VG_VERSION_PATCH, kMakerName, kMakerSite);
    AfxMessageBox(text, MB_OK | MB_ICONINFORMATION);
}
