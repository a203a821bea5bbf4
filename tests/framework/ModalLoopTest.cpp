// The modal loop: PreTranslateMessage sees every message (keys, mouse, accelerators), popup
// items ask for their state, and exceptions come out of DoModal.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "CmdUI.h"
#include "Dialog.h"
#include "FrameworkTest.h"

namespace {

class CScriptedDialog : public CDialog {
public:
    CScriptedDialog() : CDialog(IDD_FW_TEST) {}
    std::function<void(CScriptedDialog&)> onInit;
    std::function<void(CScriptedDialog&, UINT_PTR)> onTimer;
    std::vector<MSG> seen;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) {
            onInit(*this);
        }
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* pMsg) override {
        seen.push_back(*pMsg);
        return CDialog::PreTranslateMessage(pMsg);
    }

protected:
    void OnTimer(UINT_PTR id) {
        if (onTimer) {
            onTimer(*this, id);
        }
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CScriptedDialog, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

bool SawMessage(const std::vector<MSG>& seen, HWND hWnd, UINT message) {
    for (const MSG& m : seen) {
        if (m.hwnd == hWnd && m.message == message) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(FrameworkModalLoop, PreTranslateSeesMessagesPostedToChildControls) {
    CScriptedDialog dlg;
    HWND edit = nullptr;
    dlg.onInit = [&](CScriptedDialog& d) {
        edit = ::GetDlgItem(d.m_hWnd, IDC_FW_EDIT1);
        ::PostMessageA(edit, WM_APP + 7, 0, 0);
        d.PostMessage(WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(SawMessage(dlg.seen, edit, WM_APP + 7));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_FALSE(::IsWindow(edit));
}

TEST(FrameworkModalLoop, EnterInAnEditBoxEndsWithOkThroughDialogNavigation) {
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog& d) {
        HWND edit = ::GetDlgItem(d.m_hWnd, IDC_FW_EDIT1);
        ::SetFocus(edit);
        ::PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(FrameworkModalLoop, ExceptionInAHandlerEndsTheDialogAndIsRethrownByDoModal) {
    // An owner window, to check that it is enabled again after the failure.
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                               nullptr));
    CScriptedDialog dlg;
    dlg.m_pParentWnd = &owner;
    int ticks = 0;
    dlg.onInit = [&](CScriptedDialog& d) {
        EXPECT_FALSE(owner.IsWindowEnabled());
        d.SetTimer(1, 10);
    };
    dlg.onTimer = [&](CScriptedDialog&, UINT_PTR) {
        ++ticks;
        throw std::runtime_error("handler failed");
    };
    try {
        dlg.DoModal();
        ADD_FAILURE() << "DoModal returned normally";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "handler failed");
    }
    EXPECT_EQ(ticks, 1);  // the loop stopped at the first failure
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_TRUE(owner.IsWindowEnabled());
    // The dialog object can run again afterwards.
    dlg.onTimer = nullptr;
    dlg.onInit = [](CScriptedDialog& d) { d.EndDialog(5); };
    EXPECT_EQ(dlg.DoModal(), 5);
}

TEST(FrameworkModalLoop, ExceptionInInitDialogIsRethrown) {
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog&) { throw std::logic_error("init failed"); };
    EXPECT_THROW(dlg.DoModal(), std::logic_error);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(FrameworkModalLoop, QuitMessageEndsTheDialogAndIsPassedOn) {
    CScriptedDialog dlg;
    dlg.onInit = [](CScriptedDialog&) { ::PostQuitMessage(3); };
    EXPECT_EQ(dlg.DoModal(), -1);
    MSG msg;
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

namespace {

// A dialog with an accelerator table and command-state handlers for the test menu.
class CAccelDialog : public CScriptedDialog {
public:
    int commands = 0;
    bool enableCommand = true;
    bool checkCommand = false;

protected:
    void OnCommandKey() { ++commands; }
    void OnUpdateCommand(CCmdUI* ui) {
        ui->Enable(enableCommand);
        ui->SetCheck(checkCommand ? 1 : 0);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CAccelDialog, CScriptedDialog)
    ON_COMMAND(ID_FW_COMMAND, &CAccelDialog::OnCommandKey)
    ON_UPDATE_COMMAND_UI(ID_FW_COMMAND, &CAccelDialog::OnUpdateCommand)
END_MESSAGE_MAP()

}  // namespace

TEST(FrameworkModalLoop, AcceleratorsAndMouseMessagesReachTheDialogFromItsControls) {
    ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'R', ID_FW_COMMAND}};
    HACCEL table = ::CreateAcceleratorTableA(keys, 1);
    ASSERT_NE(table, nullptr);
    CAccelDialog dlg;
    dlg.SetAccelerators(table);
    HWND edit = nullptr;
    dlg.onInit = [&](CScriptedDialog& d) {
        edit = ::GetDlgItem(d.m_hWnd, IDC_FW_EDIT1);
        ::SetFocus(edit);
        BYTE state[256] = {};
        ::GetKeyboardState(state);
        state[VK_CONTROL] = 0x80;  // posted keys do not change the key state
        ::SetKeyboardState(state);
        ::PostMessageA(edit, WM_KEYDOWN, 'R', 0x00130001);
        ::PostMessageA(edit, WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
        d.SetTimer(1, 1);
    };
    dlg.onTimer = [&](CScriptedDialog& d, UINT_PTR) {
        BYTE state[256] = {};
        ::GetKeyboardState(state);
        state[VK_CONTROL] = 0;
        ::SetKeyboardState(state);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.commands, 1);
    EXPECT_TRUE(SawMessage(dlg.seen, edit, WM_MOUSEMOVE));
    // The accelerator's key went to the command, not into the edit box.
    EXPECT_EQ(::GetWindowTextLengthA(edit), 0);
    ::DestroyAcceleratorTable(table);
}

TEST(FrameworkModalLoop, PopupItemsAskTheirCommandHandlersForTheirState) {
    CAccelDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_FW_TEST));
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_FW_MENU));
    CMenu* popup = menu.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    for (bool enable : {false, true}) {
        dlg.enableCommand = enable;
        dlg.checkCommand = !enable;
        dlg.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup->m_hMenu), 0);
        UINT state = popup->GetMenuState(0, MF_BYPOSITION);
        EXPECT_EQ((state & MF_GRAYED) != 0, !enable);
        EXPECT_EQ((state & MF_CHECKED) != 0, !enable);
    }
    dlg.DestroyWindow();
}
