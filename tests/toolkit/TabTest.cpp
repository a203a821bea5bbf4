// The tab control with pages: appending, sizing, focus memory and Enter inside a page.
#include <gtest/gtest.h>

#include "DemoDialog.h"
#include "ToolkitTestSupport.h"

namespace {

class TabPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(IDD_DEMO));
        dlg.ShowWindow(SW_SHOW);
        PumpMessages();
    }
    // Switches tabs the way a click does: changing, the new selection, changed.
    void Select(int index) {
        NMHDR n = {dlg.m_tab.m_hWnd, IDC_DEMO_TAB, static_cast<UINT>(TCN_SELCHANGING)};
        dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
        dlg.m_tab.SetCurSel(index);
        n.code = static_cast<UINT>(TCN_SELCHANGE);
        dlg.SendMessage(WM_NOTIFY, IDC_DEMO_TAB, reinterpret_cast<LPARAM>(&n));
        PumpMessages();
    }
    CDemoDialog dlg;
};

// Counts the hooks and can be given a tab control window of its own.
class CHookedTabs : public CTabCtrlSSL {
public:
    int shown = 0;
    int hiding = 0;
    void PageShown(int, int) override { ++shown; }
    void PageHiding(int, int) override { ++hiding; }
};

}  // namespace

TEST_F(TabPages, FirstPageIsShownSizedBelowTheTabs) {
    EXPECT_EQ(dlg.m_tab.GetPageCount(), 2);
    EXPECT_TRUE(dlg.m_page1.IsWindowVisible());
    EXPECT_FALSE(dlg.m_page2.IsWindowVisible());
    EXPECT_EQ(::GetParent(dlg.m_page1.m_hWnd), dlg.m_tab.m_hWnd);
    RECT item;
    dlg.m_tab.GetItemRect(0, &item);
    RECT page = RectIn(dlg.m_tab.m_hWnd, dlg.m_page1.m_hWnd);
    EXPECT_EQ(page.left, 4);
    EXPECT_EQ(page.top, (item.bottom - item.top) + 4);
    EXPECT_EQ(dlg.m_tab.GetPageNumber(1), 1);
    EXPECT_THROW(dlg.m_tab.GetPage(2), std::invalid_argument);
}

TEST_F(TabPages, SwitchingBackRestoresTheFocusedControl) {
    HWND second = ::GetDlgItem(dlg.m_page1.m_hWnd, IDC_PAGE_EDIT2);
    ::SetFocus(second);
    Select(1);
    EXPECT_TRUE(dlg.m_page2.IsWindowVisible());
    EXPECT_FALSE(dlg.m_page1.IsWindowVisible());
    // A new page first focuses its first child control.
    EXPECT_EQ(::GetFocus(), ::GetWindow(dlg.m_page2.m_hWnd, GW_CHILD));
    Select(0);
    EXPECT_EQ(::GetFocus(), second);
    // The tab control itself hands the focus on to the page.
    ::SetFocus(dlg.m_tab.m_hWnd);
    EXPECT_EQ(::GetFocus(), second);
}

TEST_F(TabPages, EnterInsideAPageDoesNotCloseIt) {
    HWND edit = ::GetDlgItem(dlg.m_page1.m_hWnd, IDC_PAGE_EDIT1);
    ::SetFocus(edit);
    MSG msg = {edit, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {0, 0}};
    // The page's own dialog pre-translation sees it first, as in the modal loop.
    BOOL handled = AfxPreTranslateMessage(&msg, dlg.m_hWnd);
    if (!handled) {
        ::DispatchMessageA(&msg);
    }
    dlg.m_page1.SendMessage(WM_COMMAND, IDOK, 0);
    dlg.m_page1.SendMessage(WM_COMMAND, IDCANCEL, 0);
    PumpMessages();
    EXPECT_TRUE(::IsWindow(dlg.m_page1.m_hWnd));
    EXPECT_TRUE(dlg.m_page1.IsWindowVisible());
    EXPECT_TRUE(dlg.IsWindowVisible());
}

TEST_F(TabPages, TwoRowsOfTabsPutThePageBelowBoth) {
    CHookedTabs tabs;
    RECT r = {0, 0, 400, 120};
    ASSERT_TRUE(tabs.Create(WS_CHILD | WS_VISIBLE | TCS_MULTILINE, r, &dlg, 2000));
    tabs.SetFont(dlg.GetFont());
    CTabPageSSL pages[6];
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(pages[i].Create(IDD_DEMO_PAGE1, &dlg));
        ASSERT_EQ(tabs.AppendPage(" Page ", i, &pages[i]), i);
    }
    // Narrow the control until the six tabs wrap onto exactly two rows.
    int width = 400;
    while (width > 20 && tabs.GetRowCount() < 2) {
        width -= 4;
        tabs.SetWindowPos(nullptr, 0, 0, width, 120, SWP_NOMOVE | SWP_NOZORDER);
    }
    ASSERT_EQ(tabs.GetRowCount(), 2);
    tabs.SetWindowPos(nullptr, 0, 0, width, 121, SWP_NOMOVE | SWP_NOZORDER);
    RECT item;
    tabs.GetItemRect(0, &item);
    RECT page = RectIn(tabs.m_hWnd, pages[0].m_hWnd);
    EXPECT_EQ(page.top, 2 * (item.bottom - item.top) + 4);
    EXPECT_EQ(page.bottom - page.top, 121 - (2 * (item.bottom - item.top) + 8));
    tabs.DestroyWindow();
}

TEST_F(TabPages, AppendingFailuresLeaveNoTabAndEmptyControlsLeavePagesUnsized) {
    CHookedTabs tabs;
    RECT empty = {0, 0, 0, 0};
    ASSERT_TRUE(tabs.Create(WS_CHILD, empty, &dlg, 2001));
    EXPECT_EQ(tabs.AppendPage("x", 0, nullptr), -1);
    EXPECT_EQ(tabs.GetItemCount(), 0);
    CTabPageSSL page;
    ASSERT_TRUE(page.Create(IDD_DEMO_PAGE1, &dlg));
    RECT before;
    page.GetWindowRect(&before);
    EXPECT_EQ(tabs.AppendPage("x", 7, &page), 0);
    RECT after;
    page.GetWindowRect(&after);
    EXPECT_EQ(after.right - after.left, before.right - before.left);  // not sized yet
    tabs.SetWindowPos(nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
    page.GetWindowRect(&after);
    EXPECT_EQ(after.right - after.left, 192);  // sized at the first size event
    tabs.DestroyWindow();
    EXPECT_FALSE(::IsWindow(page.m_hWnd));
}

TEST_F(TabPages, OnlyTheFirstPageIsVisibleEvenWhenLaterPagesWereShown) {
    CHookedTabs tabs;
    RECT r = {0, 0, 300, 150};
    ASSERT_TRUE(tabs.Create(WS_CHILD | WS_VISIBLE, r, &dlg, 2003));
    CTabPageSSL first;
    CTabPageSSL second;
    ASSERT_TRUE(first.Create(IDD_DEMO_PAGE1, &dlg));
    ASSERT_TRUE(second.Create(IDD_DEMO_PAGE2, &dlg));
    second.ShowWindow(SW_SHOW);  // as a template with the visible style would leave it
    ASSERT_EQ(tabs.AppendPage("one", 0, &first), 0);
    ASSERT_EQ(tabs.AppendPage("two", 1, &second), 1);
    EXPECT_TRUE(first.IsWindowVisible());
    EXPECT_FALSE(second.IsWindowVisible());
    tabs.DestroyWindow();
}
