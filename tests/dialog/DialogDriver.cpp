// The dialog driver: a thread timer stepping through a script inside the dialog's loop.
#include "DialogDriver.h"

#include <memory>

#include "resource.h"

const char kDialogCaption[] = "Varen Glaze 2 - Edge Smoothness and Image Clarity";

namespace {

CDialogDriver* g_driver = nullptr;
constexpr DWORD kStepBudgetMs = 20000;  // one step that waits longer has failed
constexpr DWORD kRunBudgetMs = 120000;

void SetModifiers(bool ctrl, bool alt) {
    BYTE state[256] = {};
    ::GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_LCONTROL] = ctrl ? 0x80 : 0;
    state[VK_MENU] = alt ? 0x80 : 0;
    state[VK_LMENU] = alt ? 0x80 : 0;
    state[VK_SHIFT] = 0;
    ::SetKeyboardState(state);
}

}  // namespace

CDialogDriver::CDialogDriver() {
    Until(
        [this] {
            HWND found = ::FindWindowA("#32770", kDialogCaption);
            if (!found || ::GetWindowThreadProcessId(found, nullptr) != ::GetCurrentThreadId() ||
                !::IsWindowVisible(found)) {
                return false;
            }
            m_dialog = found;
            return true;
        },
        "the dialog appears");
}

CDialogDriver::~CDialogDriver() {
    if (m_timer) {
        ::KillTimer(nullptr, m_timer);
    }
    if (g_driver == this) {
        g_driver = nullptr;
    }
}

void CDialogDriver::Then(Step step, std::string what) {
    m_steps.push_back({std::move(step), std::move(what)});
}

void CDialogDriver::Do(std::function<void()> action) {
    Then([action] {
        action();
        return true;
    });
}

void CDialogDriver::Until(std::function<bool()> condition, std::string what) {
    Then(std::move(condition), std::move(what));
}

void CDialogDriver::Sleep(int ms) {
    auto until = std::make_shared<DWORD>(0);
    Then([until, ms] {
        if (*until == 0) {
            *until = ::GetTickCount() + DWORD(ms);
        }
        return int32_t(::GetTickCount() - *until) >= 0;
    });
}

void CDialogDriver::AnswerMessageBox(std::string* text) {
    Until(
        [text] {
            HWND box = ::FindWindowA("#32770", "Varen Glaze 2");
            if (!box || ::GetWindowThreadProcessId(box, nullptr) != ::GetCurrentThreadId()) {
                return false;
            }
            char buffer[512] = {};
            ::GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
            if (text) {
                *text = buffer;
            }
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            return true;
        },
        "a message box");
}

void CALLBACK CDialogDriver::OnTick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_driver) {
        g_driver->Tick();
    }
}

void CDialogDriver::CloseEverything() {
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM main) -> BOOL {
            if (::IsWindowVisible(window) && ::IsWindowEnabled(window) &&
                window != reinterpret_cast<HWND>(main)) {
                // Message boxes end on Cancel or No, choosers on Cancel.
                ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
                ::PostMessageA(window, WM_COMMAND, IDNO, 0);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(m_abandoned));
    if (::IsWindow(m_abandoned) && ::IsWindowEnabled(m_abandoned)) {
        ::PostMessageA(m_abandoned, WM_COMMAND, IDCANCEL, 0);
    }
}

void CDialogDriver::Tick() {
    // A step may run a nested loop (a message box): its ticks wait for the step to return.
    if (m_inTick) {
        return;
    }
    m_inTick = true;
    const DWORD now = ::GetTickCount();
    // The script ran out at an earlier tick, and the dialog is still there.
    bool stuck = m_next >= m_steps.size() || int32_t(now - m_deadline) > 0;
    if (m_next < m_steps.size()) {
        if (m_stepStarted == 0) {
            m_stepStarted = now;
        }
        if (m_steps[m_next].step()) {
            ++m_next;
            m_stepStarted = 0;
        } else if (now - m_stepStarted > kStepBudgetMs) {
            m_failures.push_back("timed out: " + m_steps[m_next].what + VisibleWindows());
            m_next = m_steps.size();
        }
    }
    stuck = stuck || (m_next >= m_steps.size() && !m_failures.empty());
    if (stuck && m_dialog && ::IsWindow(m_dialog)) {
        if (m_next < m_steps.size()) {
            m_failures.push_back("run budget exhausted at: " + m_steps[m_next].what);
            m_next = m_steps.size();
        }
        // A script that left the dialog open: end it so the test can report.
        m_failures.push_back("the script ended with the dialog still open");
        m_abandoned = m_dialog;
        m_dialog = nullptr;
    }
    if (m_abandoned) {
        CloseEverything();
    }
    m_inTick = false;
}

vg::host::RunResult CDialogDriver::Run(vg::host::CFilterHost& host, vg::host::CHostImage& image,
                                       vg::host::RunOptions options) {
    g_driver = this;
    m_deadline = ::GetTickCount() + kRunBudgetMs;
    m_timer = ::SetTimer(nullptr, 0, 10, &CDialogDriver::OnTick);
    options.showDialog = true;
    vg::host::RunResult result = host.Run(image, options);
    ::KillTimer(nullptr, m_timer);
    m_timer = 0;
    g_driver = nullptr;
    m_abandoned = nullptr;
    if (m_next < m_steps.size()) {
        m_failures.push_back("the dialog ended before: " + m_steps[m_next].what);
    }
    SetModifiers(false, false);
    return result;
}

HWND CDialogDriver::Item(int id) const {
    return ::GetDlgItem(m_dialog, id);
}

HWND CDialogDriver::Page(int page) const {
    // The pages are the tab control's children, in the order they were appended.
    HWND tabs = Item(IDC_VG_TABS);
    HWND child = ::GetWindow(tabs, GW_CHILD);
    std::vector<HWND> pages;
    for (; child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        pages.push_back(child);
    }
    // Windows made later sit above earlier ones in the z-order of their parent.
    if (page < 0 || size_t(page) >= pages.size()) {
        return nullptr;
    }
    for (HWND p : pages) {
        // The Clean page holds control 1061, the Edges page 1102, the Texture page 1108.
        const int marker = page == 0   ? IDC_VG_CLEAN_STRENGTH_SLIDER
                           : page == 1 ? IDC_VG_EDGE_RADIUS_SLIDER
                                       : IDC_VG_TEXTURE_BOOST_SLIDER;
        if (::GetDlgItem(p, marker)) {
            return p;
        }
    }
    return nullptr;
}

HWND CDialogDriver::PageItem(int page, int id) const {
    return ::GetDlgItem(Page(page), id);
}

std::string CDialogDriver::Text(HWND window) const {
    char text[512] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

RECT CDialogDriver::ClientRectOf(HWND window) const {
    RECT r = {};
    ::GetClientRect(window, &r);
    return r;
}

void CDialogDriver::Click(int id) const {
    ::PostMessageA(Item(id), BM_CLICK, 0, 0);
}

void CDialogDriver::Key(UINT vk, bool ctrl, bool alt, HWND target) const {
    // Posted keys do not change the key state that accelerators read: set it as well.
    SetModifiers(ctrl, alt);
    if (!target) {
        target = ::GetFocus() ? ::GetFocus() : m_dialog;
    }
    const LPARAM lParam = 1 | (LPARAM(::MapVirtualKeyA(vk, 0)) << 16) | (alt ? (1 << 29) : 0);
    ::PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lParam);
}

void CDialogDriver::KeyUp(UINT vk, HWND target) const {
    SetModifiers(false, false);
    if (!target) {
        target = ::GetFocus() ? ::GetFocus() : m_dialog;
    }
    const LPARAM lParam = 1 | (LPARAM(::MapVirtualKeyA(vk, 0)) << 16) | (LPARAM(3) << 30);
    ::PostMessageA(target, WM_KEYUP, vk, lParam);
}

void CDialogDriver::Type(HWND edit, const std::string& text) const {
    ::SetFocus(edit);
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
    for (char c : text) {
        ::PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
    }
}

void CDialogDriver::MouseDown(POINT at) const {
    ::PostMessageA(m_dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
}

void CDialogDriver::MouseMove(POINT at) const {
    ::PostMessageA(m_dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x, at.y));
}

void CDialogDriver::MouseUp(POINT at) const {
    ::PostMessageA(m_dialog, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

std::string CDialogDriver::VisibleWindows() {
    std::string list;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            if (::IsWindowVisible(window)) {
                char className[64] = {}, text[256] = {};
                ::GetClassNameA(window, className, sizeof className);
                ::GetWindowTextA(window, text, sizeof text);
                *reinterpret_cast<std::string*>(lParam) +=
                    std::string(" [") + className + " \"" + text + "\"]";
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    return list.empty() ? std::string() : " (windows:" + list + ")";
}

void CDialogDriver::Command(int id) const {
    ::PostMessageA(m_dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

HWND CDialogDriver::FindPopup(const char* caption) const {
    struct Search {
        const char* caption;
        HWND exclude;
        HWND found;
    } search{caption, m_dialog, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            char className[16] = {}, text[256] = {};
            ::GetClassNameA(window, className, sizeof className);
            ::GetWindowTextA(window, text, sizeof text);
            if (window != s->exclude && ::IsWindowVisible(window) &&
                std::string(className) == "#32770" && std::string(text) == s->caption) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CDialogDriver::ExpectMessage(std::string text, int button) {
    Until(
        [this, text, button] {
            HWND box = FindPopup("Varen Glaze 2");
            if (!box) {
                return false;
            }
            char shown[1024] = {};
            ::GetDlgItemTextA(box, 0xFFFF, shown, sizeof shown);  // the message box's text
            if (text != shown) {
                m_failures.push_back("message \"" + std::string(shown) + "\" instead of \"" + text +
                                     "\"");
            }
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            return true;
        },
        "the message \"" + text + "\"");
}

void CDialogDriver::OnPopup(std::string caption, std::function<void(HWND)> action) {
    Until(
        [this, caption, action] {
            HWND popup = FindPopup(caption.c_str());
            if (!popup) {
                return false;
            }
            action(popup);
            return true;
        },
        "the dialog \"" + caption + "\"");
}

POINT CDialogDriver::PointIn(HWND control, int x, int y) const {
    POINT p = {x, y};
    ::MapWindowPoints(control, m_dialog, &p, 1);
    return p;
}
