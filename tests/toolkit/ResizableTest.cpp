// The resizable dialog in a real window: anchors, minimum size, grip and stored placement.
#include <gtest/gtest.h>

#include "DemoDialog.h"
#include "ToolkitTestSupport.h"

namespace {

class ResizableDialog : public ::testing::Test {
protected:
    void Open(const std::string& key = std::string()) {
        dlg = std::make_unique<CDemoDialog>(key);
        ASSERT_TRUE(dlg->Create(IDD_DEMO));
        dlg->ShowWindow(SW_SHOW);
        PumpMessages();
    }
    void Resize(int dw, int dh) {
        RECT w;
        dlg->GetWindowRect(&w);
        dlg->SetWindowPos(nullptr, 0, 0, w.right - w.left + dw, w.bottom - w.top + dh,
                          SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpMessages();
    }
    HWND Item(int id) { return ::GetDlgItem(dlg->m_hWnd, id); }
    std::unique_ptr<CDemoDialog> dlg;
};

}  // namespace

TEST_F(ResizableDialog, CreationGivesSizingFrameWithTheSameClientArea) {
    Open();
    DWORD style = dlg->GetStyle();
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & DS_MODALFRAME);
    RECT client = {0, 0, 320, 200};
    ::MapDialogRect(dlg->m_hWnd, &client);
    SIZE size = ClientSize(dlg->m_hWnd);
    EXPECT_EQ(size.cx, client.right);
    EXPECT_EQ(size.cy, client.bottom);
    EXPECT_TRUE(dlg->IsInitialised());
    EXPECT_EQ(dlg->GetAnchorCount(), 8u);
}

TEST_F(ResizableDialog, AnchoredControlsFollowTheClientArea) {
    Open();
    RECT tab0 = RectIn(dlg->m_hWnd, Item(IDC_DEMO_TAB));
    RECT ok0 = RectIn(dlg->m_hWnd, Item(IDOK));
    RECT menu0 = RectIn(dlg->m_hWnd, Item(IDC_DEMO_MENUBTN));
    SIZE c0 = ClientSize(dlg->m_hWnd);
    Resize(90, 60);
    SIZE c1 = ClientSize(dlg->m_hWnd);
    ASSERT_EQ(c1.cx - c0.cx, 90);
    ASSERT_EQ(c1.cy - c0.cy, 60);

    RECT tab1 = RectIn(dlg->m_hWnd, Item(IDC_DEMO_TAB));
    EXPECT_EQ(tab1.left, tab0.left);  // (0,0)-(100,100): grows by exactly the change
    EXPECT_EQ(tab1.top, tab0.top);
    EXPECT_EQ(tab1.right - tab0.right, 90);
    EXPECT_EQ(tab1.bottom - tab0.bottom, 60);

    RECT ok1 = RectIn(dlg->m_hWnd, Item(IDOK));  // (100,100) alone: size and corner distance
    EXPECT_EQ(ok1.right - ok1.left, ok0.right - ok0.left);
    EXPECT_EQ(ok1.bottom - ok1.top, ok0.bottom - ok0.top);
    EXPECT_EQ(c1.cx - ok1.right, c0.cx - ok0.right);
    EXPECT_EQ(c1.cy - ok1.bottom, c0.cy - ok0.bottom);

    RECT menu1 = RectIn(dlg->m_hWnd, Item(IDC_DEMO_MENUBTN));  // bottom-left
    EXPECT_EQ(menu1.left, menu0.left);
    EXPECT_EQ(menu1.top - menu0.top, 60);

    // The current page follows the tab control's size.
    RECT page = RectIn(Item(IDC_DEMO_TAB), dlg->m_page1.m_hWnd);
    EXPECT_EQ(page.right - page.left, (tab1.right - tab1.left) - 8);
}

TEST_F(ResizableDialog, CannotShrinkBelowItsInitialSize) {
    Open();
    RECT w0;
    dlg->GetWindowRect(&w0);
    Resize(-150, -120);
    RECT w1;
    dlg->GetWindowRect(&w1);
    EXPECT_EQ(w1.right - w1.left, w0.right - w0.left);
    EXPECT_EQ(w1.bottom - w1.top, w0.bottom - w0.top);
}

TEST_F(ResizableDialog, GripSitsInTheCornerAndIsDisabledWhileMaximised) {
    Open();
    HWND grip = dlg->GetGripWindow();
    ASSERT_TRUE(::IsWindow(grip));
    EXPECT_TRUE(::IsWindowVisible(grip));
    EXPECT_EQ(::SendMessageA(grip, WM_NCHITTEST, 0, 0), HTBOTTOMRIGHT);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(grip, region), COMPLEXREGION);
    SIZE g = dlg->GetGripSize();
    EXPECT_FALSE(::PtInRegion(region, 0, 0));          // upper-left: cut away
    EXPECT_TRUE(::PtInRegion(region, g.cx - 1, g.cy - 1));  // lower-right: kept
    ::DeleteObject(region);
    SIZE c = ClientSize(dlg->m_hWnd);
    RECT r = RectIn(dlg->m_hWnd, grip);
    EXPECT_EQ(r.right, c.cx);
    EXPECT_EQ(r.bottom, c.cy);

    dlg->ShowWindow(SW_MAXIMIZE);
    PumpMessages();
    EXPECT_FALSE(::IsWindowEnabled(grip));
    dlg->ShowWindow(SW_RESTORE);
    PumpMessages();
    EXPECT_TRUE(::IsWindowEnabled(grip));
}

TEST_F(ResizableDialog, PlacementIsSavedOnDestroyAndMaximisedStateRestored) {
    std::string key = TestKey("Maximised");
    Open(key);
    dlg->SetWindowPos(nullptr, 30, 40, 700, 500, SWP_NOZORDER | SWP_NOACTIVATE);
    dlg->ShowWindow(SW_MAXIMIZE);
    PumpMessages();
    dlg->DestroyWindow();
    std::string stored = ReadPlacement(key);
    auto placement = layout::ParsePlacement(stored);
    ASSERT_TRUE(placement) << stored;
    EXPECT_EQ(placement->showCmd, SW_SHOWMAXIMIZED);
    EXPECT_EQ(placement->right - placement->left, 700);

    Open(key);
    EXPECT_TRUE(dlg->IsZoomed());
    WINDOWPLACEMENT wp;
    dlg->GetWindowPlacement(&wp);
    EXPECT_EQ(wp.rcNormalPosition.right - wp.rcNormalPosition.left, 700);
    EXPECT_FALSE(::IsWindowEnabled(dlg->GetGripWindow()));
}

TEST_F(ResizableDialog, RestoredRectangleArrangesTheControls) {
    Open();
    int gap = ClientSize(dlg->m_hWnd).cx - RectIn(dlg->m_hWnd, Item(IDCANCEL)).right;
    dlg->DestroyWindow();
    std::string key = TestKey("Rect");
    WritePlacement(key, "20,30,720,530,1,0");
    Open(key);
    RECT w;
    dlg->GetWindowRect(&w);
    EXPECT_EQ(w.right - w.left, 700);
    EXPECT_EQ(w.bottom - w.top, 500);
    SIZE c = ClientSize(dlg->m_hWnd);
    RECT cancel = RectIn(dlg->m_hWnd, Item(IDCANCEL));
    EXPECT_EQ(c.cx - cancel.right, gap);  // the same distance from the corner as before
}

TEST_F(ResizableDialog, MalformedOrUnusableStoredTextLeavesTheTemplatePlacement) {
    RECT reference;
    {
        Open();
        dlg->GetWindowRect(&reference);
        dlg->DestroyWindow();
    }
    const char* texts[] = {"20,30,720,530,1", "garbage", "20,30,720,99999999999,1,0",
                           "500,500,100,100,1,0", "-2147483648,0,2147483647,500,1,0"};
    for (const char* text : texts) {
        std::string key = TestKey("Malformed");
        WritePlacement(key, text);
        Open(key);
        RECT w;
        dlg->GetWindowRect(&w);
        EXPECT_EQ(w.right - w.left, reference.right - reference.left) << text;
        EXPECT_EQ(w.bottom - w.top, reference.bottom - reference.top) << text;
        dlg->DestroyWindow();
    }
    // Restoring the rectangle alone: a width beyond 32 bits is not applied either.
    {
        Open();
        std::string key = TestKey("RectOnlyOverflow");
        WritePlacement(key, "-2147483648,0,2147483647,500,1,0");
        dlg->PersistPlacement(key.c_str(), TRUE);
        RECT w;
        dlg->GetWindowRect(&w);
        EXPECT_EQ(w.right - w.left, reference.right - reference.left);
        EXPECT_EQ(w.bottom - w.top, reference.bottom - reference.top);
        dlg->DestroyWindow();
    }
    // A stored hidden or minimised state would leave the dialog unreachable: shown normally.
    std::string key = TestKey("Hidden");
    WritePlacement(key, "20,30,720,530,2,0");
    Open(key);
    EXPECT_TRUE(dlg->IsWindowVisible());
    EXPECT_FALSE(dlg->IsIconic());
}

TEST_F(ResizableDialog, EraseClipsControlsOnlyInTheDialogsOwnDc) {
    Open();
    // The dialog's own DC: the anchored controls are taken out of the clip region.
    HDC own = ::GetDC(dlg->m_hWnd);
    CDC ownDc(own);
    dlg->ClipChildren(&ownDc);
    RECT ok = RectIn(dlg->m_hWnd, Item(IDOK));
    EXPECT_FALSE(::PtVisible(own, (ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2));
    EXPECT_TRUE(::PtVisible(own, 1, 1));
    ::ReleaseDC(dlg->m_hWnd, own);
    // A control painting its parent's background into a DC of its own: nothing is clipped,
    // or the control would stay unpainted.
    HDC memory = ::CreateCompatibleDC(nullptr);
    CDC memoryDc(memory);
    dlg->ClipChildren(&memoryDc);
    HRGN clip = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetClipRgn(memory, clip), 0);
    ::DeleteObject(clip);
    ::DeleteDC(memory);
}
