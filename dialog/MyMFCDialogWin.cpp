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
#include "dialog/PreviewMath.h"
#include "plugin/MFCPlugInApp.h"
#include "plugin/ProductInfo.h"
#include "plugin/TraceLog.h"
#include "presets/PresetFolder.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleMs = 500;
constexpr int kThumbWidth = 224;
constexpr int kThumbHeight = 144;
constexpr int kPresetColumnWidth = 324;

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
ON_COMMAND(ID_VG_PRESET_SAVE, &MyMFCDialog::OnPresetCommand)
ON_COMMAND(ID_VG_PRESET_DELETE, &MyMFCDialog::OnPresetCommand)
ON_COMMAND(ID_VG_PRESET_IMPORT, &MyMFCDialog::OnPresetCommand)
ON_COMMAND(ID_VG_PRESET_IMPORT_URL, &MyMFCDialog::OnPresetCommand)
ON_COMMAND(ID_VG_PRESET_EXPORT, &MyMFCDialog::OnPresetCommand)
// Commands that come with the presets and update-check work are shown unavailable.
ON_UPDATE_COMMAND_UI(ID_VG_PREFERENCES, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_COPY_SETTINGS, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_TOGGLE_VIEW, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_PRESET_SAVE, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_PRESET_DELETE, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_PRESET_IMPORT, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_PRESET_IMPORT_URL, &MyMFCDialog::OnUpdateNotYetAvailable)
ON_UPDATE_COMMAND_UI(ID_VG_PRESET_EXPORT, &MyMFCDialog::OnUpdateNotYetAvailable)
END_MESSAGE_MAP()

MyMFCDialog::MyMFCDialog() : CResizableDialog(IDD_VG_MAIN) {
    m_iconBig.Reset(LoadDialogIcon(::GetSystemMetrics(SM_CXICON)));
    m_iconSmall.Reset(LoadDialogIcon(::GetSystemMetrics(SM_CXSMICON)));
    m_accelerators.Reset(
        ::LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_VG_ACCELERATORS)));
    SetAccelerators(m_accelerators.Get());

    // TODO(#13): the preferences' own load with its registry rules; the stored values are read
    // here with the same rules already.
    StoredPreferences prefs;
    LoadStoredPreferences(prefs);
    m_skin = prefs.skin;
    m_popupHelp = prefs.popupHelp;
    m_panFaster = prefs.panFaster;
    m_listView = prefs.listView;

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
    StoredPreferences prefs;
    prefs.skin = m_skin;
    prefs.popupHelp = m_popupHelp;
    prefs.panFaster = m_panFaster;
    prefs.listView = m_listView;
    SaveStoredPreferences(prefs);
    SetAccelerators(nullptr);
    m_accelerators.Reset();
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

    m_presetList.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_BORDERSELECT,
                             LVS_EX_BORDERSELECT);
    m_presetList.InsertColumn(0, "Preset", LVCFMT_LEFT, kPresetColumnWidth);
    m_thumbnails.Create(kThumbWidth, kThumbHeight, ILC_COLOR24, 0, 1);
    m_presetList.SetImageList(&m_thumbnails, LVSIL_NORMAL);
    m_selectedPreset = -1;
    m_thumbMaxDec = CMFCPlugInApp::Get().getThumbMaxDec(kThumbWidth, kThumbHeight, 2);

    PushAll();
    setZoom(0.0000001, false);  // lands on the fit zoom
    PushAll();

    m_ready = true;
    m_nav.BuildOverview();

    setZoom(1.0, true);  // opens at 100 %, centred on the filter rectangle
    PushAll();

    SetupFilterRecordForProxy();
    loadThumbNails();
    if (CWnd* refresh = GetDlgItem(IDC_VG_REFRESH)) {
        refresh->EnableWindow(!m_listView);
    }

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

int MyMFCDialog::loadThumbNails() {
    RECT proxy;
    if (!getProxyRect(proxy)) {
        WriteTrace("PX Dlg loadThumbNails - return", "error get proxy");
        return 0;
    }
    WriteTrace("PX:loadThumbNails()", "begin");
    // TODO(#13): list the presets and render their thumbnails of the previewed region.
    procForProxy();
    displayProxy(false);
    WriteTrace("PX:loadThumbNails()", "end");
    return 0;
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
    // TODO(#13): a preset list item becoming selected applies the preset.
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
    // The list shares the image list, which this dialog destroys itself.
    if (m_presetList.m_hWnd) {
        m_presetList.SetImageList(nullptr, LVSIL_NORMAL);
    }
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
    // TODO(#13): flip between the list and the thumbnails and render again.
}

void MyMFCDialog::OnPreferences() {
    // TODO(#13): the Preferences dialog.
}

void MyMFCDialog::OnCheckUpdate() {
    CUpdateCheck check;
    check.CheckVersion(kUpdateAddress, VG_VERSION_MAJOR, VG_VERSION_MINOR, VG_VERSION_PATCH);
}

void MyMFCDialog::OnCopySettings() {
    // TODO(#13): the Parameter Setting dialog with the settings report.
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
