// Message maps, reflection to the sending control and the borrowing of template controls.
#include <gtest/gtest.h>

#include "Button.h"
#include "Dialog.h"
#include "FrameworkTest.h"
#include "SliderCtrl.h"
#include "WinApp.h"
#include "Wnd.h"

#include <string>

namespace {

class CProbeWnd : public CWnd {
public:
    int sizeCx = -1;
    int sizeCy = -1;
    UINT_PTR timer = 0;
    int createCount = 0;
    LRESULT OnProbe(WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam + lParam); }

protected:
    int OnCreate(LPCREATESTRUCTA cs) {
        ++createCount;
        return CWnd::OnCreate(cs);
    }
    void OnSize(UINT type, int cx, int cy) {
        sizeCx = cx;
        sizeCy = cy;
        CWnd::OnSize(type, cx, cy);
    }
    void OnTimer(UINT_PTR id) { timer = id; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
    ON_WM_CREATE()
    ON_WM_SIZE()
    ON_WM_TIMER()
    ON_MESSAGE(WM_APP + 1, &CProbeWnd::OnProbe)
END_MESSAGE_MAP()

// A button that answers its own click; `passOn` lets the parent see it as well.
class CReflectButton : public CButton {
public:
    bool passOn = false;
    int clicks = 0;

protected:
    BOOL OnClicked() {
        ++clicks;
        return passOn ? FALSE : TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CReflectButton::OnClicked)
END_MESSAGE_MAP()

class CReflectSlider : public CSliderCtrl {
public:
    UINT lastCode = 0xFFFF;
    int reflected = 0;

protected:
    void HScroll(UINT code, UINT pos) {
        lastCode = code;
        ++reflected;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectSlider, CSliderCtrl)
    ON_WM_HSCROLL_REFLECT()
END_MESSAGE_MAP()

class CReflectDialog : public CDialog {
public:
    CReflectDialog() : CDialog(IDD_FW_TEST) {}
    CReflectButton button;
    CReflectSlider slider;
    int parentClicks = 0;
    int parentScrolls = 0;
    int menuCommands = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_FW_BUTTON, button);
        DDX_Control(pDX, IDC_FW_SLIDER, slider);
    }
    void OnButton() { ++parentClicks; }
    void OnMenuCommand() { ++menuCommands; }
    void OnHScroll(UINT code, UINT pos, CWnd* bar) {
        ++parentScrolls;  // the parent's own handler runs first, then the base reflects
        CDialog::OnHScroll(code, pos, bar);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectDialog, CDialog)
    ON_BN_CLICKED(IDC_FW_BUTTON, &CReflectDialog::OnButton)
    ON_COMMAND(ID_FW_COMMAND, &CReflectDialog::OnMenuCommand)
    ON_WM_HSCROLL()
END_MESSAGE_MAP()

}  // namespace

TEST(FrameworkMessageMap, HandlersGetCrackedArgumentsAndUnmappedMessagesGoToDefault) {
    CProbeWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, "probe", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                             nullptr));
    EXPECT_EQ(wnd.createCount, 1);  // bound from WM_NCCREATE, before WM_CREATE
    EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);
    wnd.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(123, 45));
    EXPECT_EQ(wnd.sizeCx, 123);
    EXPECT_EQ(wnd.sizeCy, 45);
    wnd.SendMessage(WM_TIMER, 7, 0);
    EXPECT_EQ(wnd.timer, 7u);
    EXPECT_EQ(wnd.SendMessage(WM_APP + 1, 40, 2), 42);
    // Not in the map: DefWindowProc answers (the window text).
    char text[16] = {};
    EXPECT_EQ(wnd.SendMessage(WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_STREQ(text, "probe");
    HWND hWnd = wnd.m_hWnd;
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(FrameworkMessageMap, ControlNotificationsAreReflectedToTheSenderFirst) {
    CReflectDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_FW_TEST));
    ASSERT_NE(dlg.button.m_hWnd, nullptr);

    dlg.button.SendMessage(BM_CLICK);
    EXPECT_EQ(dlg.button.clicks, 1);
    EXPECT_EQ(dlg.parentClicks, 0);  // the control kept it

    dlg.button.passOn = true;
    dlg.button.SendMessage(BM_CLICK);
    EXPECT_EQ(dlg.button.clicks, 2);
    EXPECT_EQ(dlg.parentClicks, 1);

    // Menu and accelerator commands (no control) reach the command map.
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(ID_FW_COMMAND, 1), 0);
    EXPECT_EQ(dlg.menuCommands, 1);

    dlg.SendMessage(WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                    reinterpret_cast<LPARAM>(dlg.slider.m_hWnd));
    EXPECT_EQ(dlg.parentScrolls, 1);
    EXPECT_EQ(dlg.slider.reflected, 1);
    EXPECT_EQ(dlg.slider.lastCode, static_cast<UINT>(TB_ENDTRACK));
    // The trackbar reports keyboard moves itself.
    dlg.slider.SetRange(0, 100);
    dlg.slider.SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_GE(dlg.slider.reflected, 2);
}

TEST(FrameworkMessageMap, ControlWrapperDestroyedFirstHandsTheWindowBack) {
    CDialog dlg(IDD_FW_TEST);
    ASSERT_TRUE(dlg.Create(IDD_FW_TEST));
    HWND item = ::GetDlgItem(dlg.m_hWnd, IDC_FW_BUTTON);
    {
        auto button = std::make_unique<CReflectButton>();
        ASSERT_TRUE(button->SubclassDlgItem(IDC_FW_BUTTON, &dlg));
        EXPECT_FALSE(CWnd().SubclassWindow(item));  // one object per window
    }
    // Borrowed: still alive, no object attached, and messages no longer reach the freed one.
    EXPECT_TRUE(::IsWindow(item));
    EXPECT_EQ(CWnd::FromHandlePermanent(item), nullptr);
    ::SendMessageA(item, BM_CLICK, 0, 0);
    CWnd* borrowed = dlg.GetDlgItem(IDC_FW_BUTTON);
    ASSERT_NE(borrowed, nullptr);
    EXPECT_EQ(borrowed->m_hWnd, item);
    EXPECT_EQ(borrowed->GetDlgCtrlID(), IDC_FW_BUTTON);
    HWND dlgWnd = dlg.m_hWnd;
    dlg.DestroyWindow();
    EXPECT_FALSE(::IsWindow(dlgWnd));
}

TEST(FrameworkModule, UnloadingUnregistersTheModulesWindowClasses) {
    const char* name = AfxRegisterWndClass(CS_HREDRAW, nullptr, nullptr, nullptr);
    ASSERT_NE(name, nullptr);
    const std::string framework = name;
    WNDCLASSEXA own = {};
    own.lpfnWndProc = ::DefWindowProcA;
    own.lpszClassName = "VgFrameworkTestClass";
    ASSERT_TRUE(AfxRegisterClass(own));
    EXPECT_TRUE(AfxRegisterClass(own));  // once registered, again is success
    WNDCLASSEXA info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(::GetClassInfoExA(AfxGetInstanceHandle(), "VgFrameworkTestClass", &info));
    AfxTermModule();
    EXPECT_FALSE(::GetClassInfoExA(AfxGetInstanceHandle(), "VgFrameworkTestClass", &info));
    EXPECT_FALSE(::GetClassInfoExA(AfxGetInstanceHandle(), framework.c_str(), &info));
    // The framework works again afterwards: classes and the context come back on demand.
    CWnd wnd;
    EXPECT_TRUE(wnd.CreateEx(0, nullptr, "again", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
}
