// A dialog and its tab pages as one: keyboard navigation over the pages, one routing path
// from a page's controls to the dialog's handlers, and data exchange over the pages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DemoDialog.h"
#include "SmartEditWin.h"
#include "ToolkitTestSupport.h"
#include "WinApp.h"

namespace {

// Sends one key press through the dialog's pre-translation, as the modal loop does.
void Key(CWnd& dialog, UINT key, bool shift = false) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(state);
    MSG msg = {::GetFocus(), WM_KEYDOWN, key, 0x00000001, 0, {0, 0}};
    if (!AfxPreTranslateMessage(&msg, dialog.m_hWnd)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);
    PumpMessages();
}

int FocusId() {
    return ::GetDlgCtrlID(::GetFocus());
}

class CCountingEdit : public CEdit {
public:
    int reflected = 0;

protected:
    BOOL OnChange() {
        ++reflected;
        return FALSE;  // the parent sees it as well
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCountingEdit, CEdit)
ON_CONTROL_REFLECT_EX(EN_CHANGE, &CCountingEdit::OnChange)
END_MESSAGE_MAP()

class CRoutePage : public CTabPageSSL {
public:
    CRoutePage() : CTabPageSSL(IDD_DEMO_PAGE1) {}
    CCountingEdit edit1;
    CCountingEdit edit2;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_PAGE_EDIT1, edit1);
        DDX_Control(pDX, IDC_PAGE_EDIT2, edit2);
    }
};

class CRouteDialog : public CDialog {
public:
    CRouteDialog() : CDialog(IDD_DEMO) {}
    CTabCtrlSSL tabs;
    CRoutePage page;
    int commands = 0;
    int events = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_DEMO_TAB, tabs); }
    void OnEdit1Change() { ++commands; }
    void OnEdit2Event() { ++events; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRouteDialog, CDialog)
ON_EN_CHANGE(IDC_PAGE_EDIT1, &CRouteDialog::OnEdit1Change)
ON_CONTROL_EVENT(EN_CHANGE, IDC_PAGE_EDIT2, &CRouteDialog::OnEdit2Event)
END_MESSAGE_MAP()

}  // namespace

TEST(PageNavigation, TabMovesBetweenTheDialogAndTheVisiblePageOnly) {
    CDemoDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_DEMO));
    dlg.ShowWindow(SW_SHOW);
    PumpMessages();
    EXPECT_TRUE(dlg.m_tab.GetExStyle() & WS_EX_CONTROLPARENT);

    ::SetFocus(::GetDlgItem(dlg.m_page1.m_hWnd, IDC_PAGE_EDIT2));  // last stop of the page
    Key(dlg, VK_TAB);
    EXPECT_EQ(FocusId(), IDC_DEMO_LIST);
    Key(dlg, VK_TAB, true);
    EXPECT_EQ(::GetParent(::GetFocus()), dlg.m_page1.m_hWnd);
    EXPECT_EQ(FocusId(), IDC_PAGE_EDIT2);
    // From the last control of the dialog, Tab wraps round into the page.
    ::SetFocus(::GetDlgItem(dlg.m_hWnd, IDCANCEL));
    Key(dlg, VK_TAB);
    EXPECT_EQ(::GetParent(::GetFocus()), dlg.m_page1.m_hWnd);
    EXPECT_EQ(FocusId(), IDC_PAGE_SLIDER1);

    // Enter inside a page is the page's (which ignores it); elsewhere it presses OK.
    ::SetFocus(::GetDlgItem(dlg.m_page1.m_hWnd, IDC_PAGE_EDIT1));
    Key(dlg, VK_RETURN);
    Key(dlg, VK_ESCAPE);
    EXPECT_TRUE(dlg.IsWindowVisible());
    ::SetFocus(::GetDlgItem(dlg.m_hWnd, IDC_DEMO_LIST));
    Key(dlg, VK_RETURN);
    EXPECT_FALSE(dlg.IsWindowVisible());  // a modeless dialog ends by hiding
    dlg.DestroyWindow();
}

TEST(PageNavigation, HiddenPagesAreSkippedAndTheShownPageIsReached) {
    CDemoDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_DEMO));
    dlg.ShowWindow(SW_SHOW);
    NMHDR n = {dlg.m_tab.m_hWnd, IDC_DEMO_TAB, static_cast<UINT>(TCN_SELCHANGING)};
    dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
    dlg.m_tab.SetCurSel(1);
    n.code = static_cast<UINT>(TCN_SELCHANGE);
    dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
    PumpMessages();
    ::SetFocus(::GetDlgItem(dlg.m_hWnd, IDC_DEMO_LIST));
    Key(dlg, VK_TAB, true);
    EXPECT_EQ(::GetParent(::GetFocus()), dlg.m_page2.m_hWnd);
    dlg.DestroyWindow();
}

TEST(PageNavigation, PageNotificationsReachTheDialogOnceWithoutASecondReflection) {
    CRouteDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_DEMO));
    ASSERT_TRUE(dlg.page.Create(IDD_DEMO_PAGE1, &dlg));
    ASSERT_EQ(dlg.tabs.AppendPage("one", 0, &dlg.page), 0);

    // Routing commands on: the page reflects, then forwards through the tab control.
    dlg.page.m_bRouteCommand = TRUE;
    dlg.page.edit1.SetWindowText("1");
    EXPECT_EQ(dlg.page.edit1.reflected, 1);
    EXPECT_EQ(dlg.commands, 1);
    EXPECT_EQ(dlg.events, 0);

    // Routing control events on: what the page leaves unhandled reaches ON_CONTROL_EVENT.
    dlg.page.m_bRouteCommand = FALSE;
    dlg.page.m_bRouteCmdMsg = TRUE;
    dlg.page.edit2.SetWindowText("2");
    EXPECT_EQ(dlg.page.edit2.reflected, 1);
    EXPECT_EQ(dlg.events, 1);
    EXPECT_EQ(dlg.commands, 1);

    // Both off: the page keeps its notifications.
    dlg.page.m_bRouteCmdMsg = FALSE;
    dlg.page.edit1.SetWindowText("3");
    dlg.page.edit2.SetWindowText("4");
    EXPECT_EQ(dlg.commands, 1);
    EXPECT_EQ(dlg.events, 1);
    dlg.DestroyWindow();
}

TEST(PageNavigation, DialogDataExchangeValidatesAndPushesThePages) {
    CDemoDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_DEMO));
    ASSERT_EQ(dlg.GetPages().size(), 2u);
    EXPECT_EQ(dlg.GetPages()[0], &dlg.m_page1);
    std::vector<std::string> shown;
    AfxSetMessageBoxHook([&](const char* text, const char*, UINT) {
        shown.push_back(text);
        return IDOK;
    });
    HWND edit = ::GetDlgItem(dlg.m_page2.m_hWnd, IDC_PAGE_EDIT1);
    ::SetWindowTextA(::GetDlgItem(dlg.m_page1.m_hWnd, IDC_PAGE_EDIT1), "6");
    ::SetWindowTextA(edit, "x");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Enter a number.");
    EXPECT_EQ(::GetFocus(), edit);
    EXPECT_EQ(dlg.m_page1.m_rows[0].value, 6.0f);  // pages before the failure were read

    ::SetWindowTextA(edit, "4");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_page2.m_rows[0].value, 4.0f);
    dlg.m_page2.m_rows[1].value = 2.5f;
    EXPECT_TRUE(dlg.UpdateData(FALSE));
    char text[32] = {};
    ::GetWindowTextA(::GetDlgItem(dlg.m_page2.m_hWnd, IDC_PAGE_EDIT2), text, sizeof text);
    EXPECT_STREQ(text, "2.5");
    AfxSetMessageBoxHook(nullptr);
    dlg.DestroyWindow();
    EXPECT_TRUE(dlg.GetPages().empty());
}
