// The demonstration dialog built from its template.
#include "DemoDialog.h"

#include <vector>

CDemoPage::CDemoPage(UINT templateId, Row first, Row second)
    : CTabPageSSL(templateId), m_rows{first, second} {}

void CDemoPage::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_PAGE_SLIDER1, m_slider[0]);
    DDX_Control(pDX, IDC_PAGE_EDIT1, m_edit[0]);
    DDX_Text(pDX, IDC_PAGE_EDIT1, m_rows[0].value);
    DDX_Control(pDX, IDC_PAGE_SLIDER2, m_slider[1]);
    DDX_Control(pDX, IDC_PAGE_EDIT2, m_edit[1]);
    DDX_Text(pDX, IDC_PAGE_EDIT2, m_rows[1].value);
}

BOOL CDemoPage::OnInitDialog() {
    CTabPageSSL::OnInitDialog();
    const UINT sliders[2] = {IDC_PAGE_SLIDER1, IDC_PAGE_SLIDER2};
    for (int i = 0; i < 2; ++i) {
        m_edit[i].LinkSlider(this, sliders[i]);
        m_edit[i].SetRealRange(m_rows[i].min, m_rows[i].max, 3, m_rows[i].format);
        m_edit[i].ShowValue(m_rows[i].value);
    }
    return TRUE;
}

BEGIN_MESSAGE_MAP(CDemoDialog, CResizableDialog)
    ON_COMMAND(ID_DEMO_FIRST, &CDemoDialog::OnMenuFirst)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CDemoDialog::CDemoDialog(std::string placementKey)
    : CResizableDialog(IDD_DEMO),
      m_page1(IDD_DEMO_PAGE1, {0, 8, "%5.0f", 3}, {0, 1.5, "%5.2f", 0.5f}),
      m_page2(IDD_DEMO_PAGE2, {0, 5, "%5.0f", 0}, {0.7, 4, "%5.2f", 1.5f}),
      m_placementKey(std::move(placementKey)) {}

void CDemoDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_DEMO_TAB, m_tab);
    DDX_Control(pDX, IDC_DEMO_LIST, m_list);
    DDX_Control(pDX, IDC_DEMO_MENUBTN, m_menuButton);
    DDX_Control(pDX, IDC_DEMO_UPDOWN, m_upDown);
}

BOOL CDemoDialog::OnInitDialog() {
    CResizableDialog::OnInitDialog();
    m_upDown.m_pDialog = this;
    m_menuButton.AttachMenu(IDR_DEMO_MENU);

    m_page1.Create(IDD_DEMO_PAGE1, this);
    m_page2.Create(IDD_DEMO_PAGE2, this);
    m_tab.AppendPage("  Clean  ", 0, &m_page1);
    m_tab.AppendPage("  Edges  ", 1, &m_page2);

    // A 24-bit image list of colour swatches, shared with (not owned by) the list view.
    m_images.Create(32, 32, ILC_COLOR24, 4, 4);
    const COLORREF colours[4] = {RGB(200, 60, 40), RGB(60, 160, 70), RGB(50, 90, 200),
                                 RGB(230, 190, 40)};
    const char* names[4] = {"Warm", "Green", "Blue", "Gold"};
    HDC screen = ::GetDC(nullptr);
    for (int i = 0; i < 4; ++i) {
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 32, 32);
        HDC memory = ::CreateCompatibleDC(screen);
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        RECT all = {0, 0, 32, 32};
        HBRUSH brush = ::CreateSolidBrush(colours[i]);
        ::FillRect(memory, &all, brush);
        ::DeleteObject(brush);
        ::SelectObject(memory, old);
        ::DeleteDC(memory);
        m_images.Add(bitmap);
        ::DeleteObject(bitmap);
    }
    ::ReleaseDC(nullptr, screen);
    m_list.SetImageList(&m_images, LVSIL_NORMAL);
    for (int i = 0; i < 4; ++i) {
        m_list.InsertItem(i, names[i], i);
    }

    AnchorControl(IDC_DEMO_TAB, layout::kTopLeft, layout::kBottomRight);
    AnchorControl(IDC_DEMO_LIST, layout::kTopRight, layout::kBottomRight);
    AnchorControl(IDC_DEMO_GROUP, layout::kBottomLeft, layout::kBottomRight);
    AnchorControl(IDC_DEMO_MENUBTN, layout::kBottomLeft);
    AnchorControl(IDC_DEMO_UPDOWN, layout::kBottomLeft);
    AnchorControl(IDC_DEMO_LABEL, layout::kBottomLeft);
    AnchorControl(IDOK, layout::kBottomRight);
    AnchorControl(IDCANCEL, layout::kBottomRight);
    if (!m_placementKey.empty()) {
        PersistPlacement(m_placementKey.c_str(), FALSE);
    }
    return TRUE;
}

void CDemoDialog::OnDestroy() {
    CResizableDialog::OnDestroy();
    // The list shares the image list; the image list object destroys it afterwards.
    m_list.SetImageList(nullptr, LVSIL_NORMAL);
}
