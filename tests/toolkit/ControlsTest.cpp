// The custom controls in real windows: smart edit and linked slider, up/down button,
// menu button and the list view without a horizontal scroll bar.
#include <gtest/gtest.h>

#include <cmath>

#include "DemoDialog.h"
#include "ToolkitTestSupport.h"

namespace {

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dlg.Create(IDD_DEMO));
        dlg.ShowWindow(SW_SHOW);
        PumpMessages();
    }
    std::string Text(CWnd& w) { return w.GetWindowText(); }
    void Type(CWnd& edit, const char* keys) {
        for (const char* k = keys; *k; ++k) {
            edit.SendMessage(WM_CHAR, static_cast<unsigned char>(*k), 1);
        }
    }
    CDemoDialog dlg;
};

}  // namespace

TEST_F(Controls, RealRangeSetsUpTheSliderFromTheFormat) {
    CSmartEdit& strength = dlg.m_page1.m_edit[0];  // 0..8, "%5.0f"
    CSmartEdit& threshold = dlg.m_page1.m_edit[1];  // 0..1.5, "%5.2f"
    EXPECT_EQ(dlg.m_page1.m_slider[0].GetRangeMax(), 80);
    EXPECT_EQ(dlg.m_page1.m_slider[1].GetRangeMax(), 1500);
    EXPECT_EQ(dlg.m_page1.m_slider[1].GetRangeMin(), 0);
    EXPECT_EQ(dlg.m_page1.m_slider[1].GetPageSize(), 150);
    EXPECT_EQ(dlg.m_page1.m_slider[0].GetPageSize(), 20);
    EXPECT_EQ(dlg.m_page1.m_slider[1].GetLineSize(), 10);
    EXPECT_EQ(strength.GetParseType(), editrules::kFloat);
    EXPECT_EQ(Text(threshold), " 0.50");  // the initial value, shown with the format
    EXPECT_EQ(dlg.m_page1.m_slider[1].GetPos(), 500);
}

TEST_F(Controls, CharacterFilterTakesOnlyNumberCharactersAndBackspace) {
    CSmartEdit& edit = dlg.m_page1.m_edit[1];
    edit.SetWindowText("");
    Type(edit, "a1.5xe-");
    EXPECT_EQ(Text(edit), "1.5e-");
    edit.SendMessage(WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(Text(edit), "1.5e");
}

TEST_F(Controls, SliderMovesShowTheValueInTheFormat) {
    CLinkSlider& slider = dlg.m_page1.m_slider[1];
    CSmartEdit& edit = dlg.m_page1.m_edit[1];
    // Thumb tracking reports the position with the notification.
    dlg.m_page1.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 750),
                            reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(Text(edit), " 0.75");
    EXPECT_NEAR(edit.GetValue(), 0.7505, 1e-9);
    EXPECT_EQ(slider.GetCurrentPos(), 750);
    // A line move is read from the control; the end of a scroll changes nothing.
    slider.SendMessage(TBM_SETPOS, TRUE, 1200);
    dlg.m_page1.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_LINEDOWN, 0),
                            reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(Text(edit), " 1.20");
    edit.SetWindowText("0.3");
    dlg.m_page1.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                            reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(Text(edit), "0.3");
    // After typing, moving back to the position shown before rewrites the text.
    slider.SendMessage(TBM_SETPOS, TRUE, 1200);
    dlg.m_page1.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_PAGEDOWN, 0),
                            reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(Text(edit), " 1.20");
}

TEST_F(Controls, KeyboardOnTheSliderReachesTheEditThroughReflection) {
    CLinkSlider& slider = dlg.m_page1.m_slider[0];  // 0..8 over 80 steps, line size 10
    slider.SetFocus();
    int before = slider.GetPos();
    // The trackbar notifies its page, whose default scroll handling reflects it back.
    slider.SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(slider.GetPos(), before + 10);
    EXPECT_EQ(Text(dlg.m_page1.m_edit[0]), editrules::FormatReal("%5.0f", (before + 10.5) / 10));
}

TEST_F(Controls, TypedValuesMoveTheSliderAndOutOfRangeIsRewritten) {
    CSmartEdit& edit = dlg.m_page1.m_edit[0];  // 0..8 over 80 steps
    CLinkSlider& slider = dlg.m_page1.m_slider[0];
    edit.SetWindowText("");
    Type(edit, "5");
    EXPECT_EQ(slider.GetPos(), 50);
    EXPECT_EQ(Text(edit), "5");  // in range: the typed text stays
    edit.SetWindowText("");
    Type(edit, "9");
    EXPECT_EQ(slider.GetPos(), 80);
    EXPECT_EQ(Text(edit), "    8");
    edit.SetWindowText("-");  // no number yet: 0, at the range's start, not clamped
    EXPECT_EQ(slider.GetPos(), 0);
    // ShowValue ignores values outside the range (with a little slack).
    EXPECT_TRUE(edit.ShowValue(8.0005));
    EXPECT_FALSE(edit.ShowValue(8.5));
    EXPECT_FALSE(edit.ShowValue(std::nan("")));
}

TEST_F(Controls, ValuesBelowTheRangeAreLeftWhileTypedAndBroughtInWhenTheBoxIsLeft) {
    CSmartEdit& edit = dlg.m_page2.m_edit[1];  // 0.7..4 over 3300 steps, "%5.2f"
    CLinkSlider& slider = dlg.m_page2.m_slider[1];
    struct Case {
        const char* typed;
        const char* whileTyping;
        int position;
        const char* afterLeaving;
    };
    const Case cases[] = {
        {"1.2", "1.2", 500, "1.2"},        // in range: kept
        {"0.5", "0.5", 0, " 0.70"},        // below: left alone until the box is left
        {"5", " 4.00", 3300, " 4.00"},     // above: rewritten at once
        {"", "", 0, " 0.70"},              // nothing typed reads as 0
    };
    for (const Case& c : cases) {
        edit.SetFocus();
        edit.SetWindowText("");
        Type(edit, c.typed);
        EXPECT_EQ(Text(edit), c.whileTyping) << c.typed;
        EXPECT_EQ(slider.GetPos(), c.position) << c.typed;
        dlg.m_page2.m_edit[0].SetFocus();
        EXPECT_EQ(Text(edit), c.afterLeaving) << c.typed;
    }
}

TEST_F(Controls, VerticalSliderShowsTheMaximumAtItsTop) {
    CDemoPage& page = dlg.m_page1;
    CLinkSlider slider;
    CSmartEdit edit;
    RECT r = {0, 0, 30, 120};
    ASSERT_TRUE(slider.Create(WS_CHILD | WS_VISIBLE | TBS_VERT, r, &page, 3001));
    RECT e = {40, 0, 100, 20};
    ASSERT_TRUE(edit.Create(WS_VISIBLE | ES_AUTOHSCROLL, e, &page, 3002));
    EXPECT_TRUE(slider.IsReversed());
    ASSERT_TRUE(edit.LinkSlider(&page, 3001));
    edit.SetRealRange(0, 8, 3, "%5.0f");  // 0..80
    edit.SetWindowText("8");
    EXPECT_EQ(slider.GetCurrentPos(), 80);
    EXPECT_EQ(slider.GetPos(), 0);  // the control's own top
    edit.SetWindowText("2");
    EXPECT_EQ(slider.GetPos(), 60);
    // Paging reads the control and mirrors it back: the text follows the thumb.
    slider.SendMessage(TBM_SETPOS, TRUE, 10);
    page.SendMessage(WM_VSCROLL, MAKEWPARAM(TB_PAGEUP, 0), reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(edit.GetWindowText(), "    7");
    EXPECT_EQ(slider.GetPos(), 10);
}

TEST_F(Controls, LinkedEditAndSliderForgetEachOtherWhenOneGoes) {
    CDemoPage& page = dlg.m_page1;
    CLinkSlider slider;
    RECT r = {0, 60, 120, 80};
    ASSERT_TRUE(slider.Create(WS_CHILD | WS_VISIBLE | TBS_HORZ, r, &page, 3003));
    {
        CSmartEdit edit;
        RECT e = {130, 60, 180, 80};
        ASSERT_TRUE(edit.Create(WS_VISIBLE, e, &page, 3004));
        ASSERT_TRUE(edit.LinkSlider(&page, 3003));
        edit.SetRealRange(0, 1, 3, "%5.2f");
        EXPECT_EQ(slider.GetEdit(), &edit);
    }
    EXPECT_EQ(slider.GetEdit(), nullptr);
    // Scrolling the slider now has no edit box to write into.
    page.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 30),
                     reinterpret_cast<LPARAM>(slider.m_hWnd));
    EXPECT_EQ(slider.GetCurrentPos(), 30);

    CSmartEdit edit;
    RECT e = {130, 60, 180, 80};
    ASSERT_TRUE(edit.Create(WS_VISIBLE, e, &page, 3005));
    {
        CLinkSlider shortLived;
        RECT s = {0, 90, 120, 110};
        ASSERT_TRUE(shortLived.Create(WS_CHILD | WS_VISIBLE | TBS_HORZ, s, &page, 3006));
        ASSERT_TRUE(edit.LinkSlider(&page, 3006));
    }
    EXPECT_EQ(edit.GetSlider(), nullptr);
    edit.SetWindowText("0.5");  // the value update finds no slider to move
}

TEST_F(Controls, UpDownButtonRepaintsThePreviewOnPressAndRelease) {
    CUpDownButton& button = dlg.m_upDown;
    RECT r;
    button.GetClientRect(&r);
    LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    EXPECT_TRUE(button.m_showOriginal);
    EXPECT_EQ(dlg.m_repaints, 1);
    button.SendMessage(WM_LBUTTONUP, 0, at);
    EXPECT_FALSE(button.m_showOriginal);
    EXPECT_EQ(dlg.m_repaints, 2);
    // The second press of a double click arrives as a double click: held all the same.
    button.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    button.SendMessage(WM_LBUTTONUP, 0, at);
    button.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    EXPECT_TRUE(button.m_showOriginal);
    EXPECT_EQ(dlg.m_repaints, 5);
    button.SendMessage(WM_LBUTTONUP, 0, at);
    EXPECT_FALSE(button.m_showOriginal);
    EXPECT_EQ(dlg.m_repaints, 6);
}

TEST_F(Controls, ListViewNeverShowsAHorizontalScrollBar) {
    CListCtrlNoHS& list = dlg.m_list;
    EXPECT_EQ(list.GetItemCount(), 4);
    ImageList_GetImageCount(dlg.m_images.GetSafeHandle());
    for (int i = 0; i < 30; ++i) {
        list.InsertItem(list.GetItemCount(), "A rather long item title", i % 4);
    }
    list.SendMessage(LVM_SETVIEW, LV_VIEW_LIST);  // list view flows sideways: would scroll
    list.SetWindowPos(nullptr, 0, 0, 60, 300, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    EXPECT_FALSE(list.GetStyle() & WS_HSCROLL);
    list.SetWindowPos(nullptr, 0, 0, 50, 250, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages();
    EXPECT_FALSE(list.GetStyle() & WS_HSCROLL);
    // The image list holds 24-bit images and is shared, not owned, by the list view.
    IMAGEINFO info = {};
    ASSERT_TRUE(ImageList_GetImageInfo(dlg.m_images.GetSafeHandle(), 0, &info));
    BITMAP bm = {};
    ::GetObjectA(info.hbmImage, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 24);
}

namespace {

HWND g_menuOwner = nullptr;
int g_menuLoops = 0;
HMENU g_poppedUp = nullptr;

// Runs inside the popup menu's own loop: the menu is open, so record it and close it.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ::EndMenu();
}

LRESULT CALLBACK WatchMenu(int code, WPARAM wParam, LPARAM lParam) {
    auto* cwp = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->hwnd == g_menuOwner) {
        if (cwp->message == WM_ENTERMENULOOP) {
            ++g_menuLoops;
        } else if (cwp->message == WM_INITMENUPOPUP) {
            g_poppedUp = reinterpret_cast<HMENU>(cwp->wParam);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

TEST_F(Controls, MenuButtonDropsItsFirstPopupOwnedByTheParent) {
    ASSERT_NE(dlg.m_menuButton.GetMenu(), nullptr);
    g_menuOwner = dlg.m_hWnd;
    g_menuLoops = 0;
    g_poppedUp = nullptr;
    HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, WatchMenu, nullptr, ::GetCurrentThreadId());
    ::SetTimer(nullptr, 0, 50, CloseMenu);
    dlg.m_menuButton.SendMessage(BM_CLICK);
    ::UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_menuLoops, 1);
    EXPECT_EQ(g_poppedUp, dlg.m_menuButton.GetMenu()->GetSubMenu(0)->m_hMenu);
    // The chosen command reaches the parent as a menu command.
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(ID_DEMO_FIRST, 0), 0);
    EXPECT_EQ(dlg.m_menuCommands, 1);
    // Without a menu a click does nothing.
    CMenuButton bare;
    RECT r = {0, 0, 40, 20};
    ASSERT_TRUE(bare.Create("x", WS_CHILD | BS_PUSHBUTTON, r, &dlg, 2002));
    g_menuLoops = 0;
    bare.SendMessage(BM_CLICK);
    EXPECT_EQ(g_menuLoops, 0);
}
