// CWnd: binding objects to windows, message dispatch, reflection and command routing.
#include "Wnd.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "CmdUI.h"
#include "ModalFrame.h"
#include "WinApp.h"

namespace {

// The property that points from a window to its object.
const char kObjectProp[] = "VgFramework.CWnd";
constexpr UINT_PTR kSubclassId = 0x5647;  // one subclass per window and object

// Module state. Plain statics rather than thread_local: a DLL's thread-local destructors
// would run when a host thread ends, possibly after the module was unloaded. The host calls
// the plug-in (and so runs every window of it) on one thread at a time.
std::vector<CModalFrame*> t_modalFrames;
std::exception_ptr t_pendingError;
// Borrowed wrappers handed out by FromHandle; dead windows are pruned as the map grows.
std::map<HWND, std::unique_ptr<CWnd>> t_borrowed;
// Window classes this module registered, unregistered by AfxTermModule.
std::set<std::string> t_classes;

}  // namespace

void AfxTermWindowing() {
    for (const std::string& name : t_classes) {
        ::UnregisterClassA(name.c_str(), AfxGetInstanceHandle());
    }
    t_classes.clear();
    t_borrowed.clear();
    t_pendingError = nullptr;
    t_modalFrames.clear();
}

void AfxPushModalFrame(CModalFrame* frame) { t_modalFrames.push_back(frame); }

void AfxPopModalFrame(CModalFrame* frame) {
    auto it = std::find(t_modalFrames.begin(), t_modalFrames.end(), frame);
    if (it != t_modalFrames.end()) {
        t_modalFrames.erase(it);
    }
}

void AfxStoreException(std::exception_ptr error) {
    if (!t_modalFrames.empty()) {
        CModalFrame* frame = t_modalFrames.back();
        if (!frame->error) {
            frame->error = error;
        }
        // Wake the loop in case it is waiting in GetMessage.
        ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
        return;
    }
    if (!t_pendingError) {
        t_pendingError = error;
    }
}

std::exception_ptr AfxTakePendingException() {
    std::exception_ptr error = t_pendingError;
    t_pendingError = nullptr;
    return error;
}

BOOL AfxPreTranslateMessage(MSG* msg, HWND stop) {
    HWND h = msg->hwnd ? msg->hwnd : stop;
    while (h) {
        CWnd* wnd = CWnd::FromHandlePermanent(h);
        if (wnd && wnd->PreTranslateMessage(msg)) {
            return TRUE;
        }
        if (h == stop) {
            break;
        }
        h = ::GetParent(h);  // the owner for a popup, so owned tooltips reach their dialog
    }
    return FALSE;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (!wnd && message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        wnd = static_cast<CWnd*>(cs->lpCreateParams);
        if (wnd) {
            wnd->BindHandle(hWnd);
        }
    }
    if (!wnd) {
        // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    LRESULT result = wnd->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        wnd->FinishNcDestroy();
    }
    return result;
}

LRESULT CALLBACK AfxSubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR refData) {
    CWnd* wnd = reinterpret_cast<CWnd*>(refData);
    LRESULT result = wnd->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        wnd->FinishNcDestroy();
    }
    return result;
}

BOOL AfxRegisterClass(const WNDCLASSEXA& windowClass) {
    if (!windowClass.lpszClassName || IS_INTRESOURCE(windowClass.lpszClassName)) {
        return FALSE;
    }
    WNDCLASSEXA wc = windowClass;
    wc.cbSize = sizeof(wc);
    wc.hInstance = AfxGetInstanceHandle();
    WNDCLASSEXA existing = {};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExA(wc.hInstance, wc.lpszClassName, &existing) &&
        !::RegisterClassExA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return FALSE;
    }
    t_classes.insert(wc.lpszClassName);
    return TRUE;
}

const char* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    // One class per distinct set of attributes; the names live until the module is unloaded.
    char name[128];
    std::snprintf(name, sizeof(name), "VgWnd:%p:%x:%p:%p:%p",
                  static_cast<void*>(AfxGetInstanceHandle()), classStyle,
                  static_cast<void*>(cursor), static_cast<void*>(background),
                  static_cast<void*>(icon));
    auto it = t_classes.find(name);
    if (it != t_classes.end()) {
        return it->c_str();
    }
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = AfxWndProc;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!AfxRegisterClass(wc)) {
        return nullptr;
    }
    return t_classes.find(name)->c_str();
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (!m_hWnd) {
        return;
    }
    if (m_ownsWindow) {
        // Messages during the destruction reach only CWnd's own handlers by now.
        ::DestroyWindow(m_hWnd);
    }
    if (m_hWnd) {
        // Borrowed (or not destroyable from here): hand the window back untouched.
        if (m_subclassed) {
            ::RemoveWindowSubclass(m_hWnd, AfxSubclassProc, kSubclassId);
        }
        if (::GetPropA(m_hWnd, kObjectProp) == this) {
            ::RemovePropA(m_hWnd, kObjectProp);
        }
        m_hWnd = nullptr;
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    if (!hWnd) {
        return nullptr;
    }
    return static_cast<CWnd*>(::GetPropA(hWnd, kObjectProp));
}

CWnd* CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) {
        return nullptr;
    }
    if (CWnd* wnd = FromHandlePermanent(hWnd)) {
        return wnd;
    }
    if (t_borrowed.size() > 64) {
        for (auto it = t_borrowed.begin(); it != t_borrowed.end();) {
            it = ::IsWindow(it->first) ? std::next(it) : t_borrowed.erase(it);
        }
    }
    std::unique_ptr<CWnd>& slot = t_borrowed[hWnd];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = hWnd;  // not bound: a borrowed wrapper only
    }
    return slot.get();
}

void CWnd::BindHandle(HWND hWnd) {
    m_hWnd = hWnd;
    ::SetPropA(hWnd, kObjectProp, this);
    t_borrowed.erase(hWnd);
}

BOOL CWnd::InstallSubclass(HWND hWnd) {
    if (!::SetWindowSubclass(hWnd, AfxSubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this))) {
        return FALSE;
    }
    m_subclassed = true;
    return TRUE;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTA& cs) { return TRUE; }

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU idOrMenu) {
    if (m_hWnd) {
        return FALSE;
    }
    CREATESTRUCTA cs = {};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className
                       ? className
                       : AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(nullptr, IDC_ARROW),
                                             reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    cs.lpszName = windowName;
    cs.style = style;
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.hwndParent = parent;
    cs.hMenu = idOrMenu;
    cs.hInstance = AfxGetInstanceHandle();
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }
    HWND hWnd;
    {
        CActivationScope scope;
        // Framework classes bind at WM_NCCREATE from lpParam; other classes ignore it.
        hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y,
                                 cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    }
    if (!hWnd) {
        return FALSE;
    }
    if (!m_hWnd && !SubclassWindow(hWnd)) {
        ::DestroyWindow(hWnd);
        return FALSE;
    }
    m_ownsWindow = true;
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    const RECT& r, CWnd* parent, UINT id) {
    return CreateEx(exStyle, className, windowName, style, r.left, r.top, r.right - r.left,
                    r.bottom - r.top, parent ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

BOOL CWnd::Create(const char* className, const char* windowName, DWORD style, const RECT& r,
                  CWnd* parent, UINT id) {
    return CreateEx(0, className, windowName, style | WS_CHILD, r, parent, id);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) {
        return FALSE;
    }
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::Attach(HWND hWnd) {
    if (m_hWnd || !hWnd || FromHandlePermanent(hWnd)) {
        return FALSE;
    }
    BindHandle(hWnd);
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd) {
        if (m_subclassed) {
            ::RemoveWindowSubclass(hWnd, AfxSubclassProc, kSubclassId);
            m_subclassed = false;
        }
        ::RemovePropA(hWnd, kObjectProp);
    }
    m_hWnd = nullptr;
    m_ownsWindow = false;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (m_hWnd || !::IsWindow(hWnd) || FromHandlePermanent(hWnd)) {
        return FALSE;
    }
    BindHandle(hWnd);
    if (!InstallSubclass(hWnd)) {
        ::RemovePropA(hWnd, kObjectProp);
        m_hWnd = nullptr;
        return FALSE;
    }
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    HWND item = parent ? ::GetDlgItem(parent->m_hWnd, static_cast<int>(id)) : nullptr;
    return item ? SubclassWindow(item) : FALSE;
}

HWND CWnd::UnsubclassWindow() { return Detach(); }

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    MSG saved = m_currentMsg;
    m_currentMsg.hwnd = m_hWnd;
    m_currentMsg.message = message;
    m_currentMsg.wParam = wParam;
    m_currentMsg.lParam = lParam;
    LRESULT result = 0;
    try {
        result = WindowProc(message, wParam, lParam);
    } catch (...) {
        AfxStoreException(std::current_exception());
        result = 0;
    }
    m_currentMsg = saved;
    return result;
}

void CWnd::FinishNcDestroy() {
    HWND hWnd = m_hWnd;
    if (hWnd) {
        if (m_subclassed) {
            ::RemoveWindowSubclass(hWnd, AfxSubclassProc, kSubclassId);
        }
        ::RemovePropA(hWnd, kObjectProp);
    }
    m_subclassed = false;
    m_ownsWindow = false;
    m_hWnd = nullptr;
    m_borrowed.clear();
    PostNcDestroy();
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam)) {
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    }
    if (message == WM_NOTIFY) {
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result)) {
            *pResult = result;
            return TRUE;
        }
        return FALSE;
    }
    LRESULT result = 0;
    if (ProcessWindowMessage(message, wParam, lParam, result)) {
        *pResult = result;
        return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    UINT id = LOWORD(wParam);
    int code = HIWORD(wParam);
    if (!control) {
        return OnCmdMsg(id, CN_COMMAND, nullptr);  // menus and accelerators
    }
    // The control that sent it answers first (reflection), but only through its own parent:
    // a notification forwarded up from a page has been reflected there already.
    if (::GetParent(control) == m_hWnd) {
        CWnd* child = FromHandlePermanent(control);
        if (child && child->OnChildNotify(WM_COMMAND, wParam, lParam, nullptr)) {
            return TRUE;
        }
    }
    if (OnCmdMsg(id, code, nullptr)) {
        return TRUE;
    }
    AFX_CTLEVENT event = {static_cast<UINT>(HIWORD(wParam)), control};
    return OnCmdMsg(id, CN_EVENT, &event);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    auto* nmhdr = reinterpret_cast<NMHDR*>(lParam);
    if (!nmhdr) {
        return FALSE;
    }
    CWnd* child = ::GetParent(nmhdr->hwndFrom) == m_hWnd ? FromHandlePermanent(nmhdr->hwndFrom)
                                                          : nullptr;
    if (child && child->OnChildNotify(WM_NOTIFY, wParam, lParam, pResult)) {
        return TRUE;
    }
    AFX_NOTIFY notify = {pResult, nmhdr};
    return OnCmdMsg(static_cast<UINT>(nmhdr->idFrom),
                    static_cast<int>(MAKELONG(static_cast<WORD>(nmhdr->code), WM_NOTIFY)),
                    &notify);
}

BOOL CWnd::OnCmdMsg(UINT id, int code, void* pExtra) {
    LRESULT result = 0;
    if (HIWORD(static_cast<DWORD>(code)) == WM_NOTIFY && pExtra) {
        auto* notify = static_cast<AFX_NOTIFY*>(pExtra);
        BOOL handled = ProcessWindowMessage(WM_NOTIFY, id, reinterpret_cast<LPARAM>(notify->pNMHDR),
                                            result);
        if (handled && notify->pResult) {
            *notify->pResult = result;
        }
        return handled;
    }
    // Update and control-event routing hand their record to the handler in lParam.
    return ProcessWindowMessage(WM_COMMAND, MAKEWPARAM(id, static_cast<WORD>(code)),
                                reinterpret_cast<LPARAM>(pExtra), result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    LRESULT result = 0;
    if (!ProcessWindowMessage(WM_REFLECT_BASE + message, wParam, lParam, result)) {
        return FALSE;
    }
    if (pResult) {
        *pResult = result;
    }
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG* pMsg) { return FALSE; }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_subclassed) {
        return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

BOOL CWnd::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
    // The base of every map: reflect what controls are told through their parent.
    switch (message) {
        case WM_HSCROLL:
            CWnd::OnHScroll(LOWORD(wParam), HIWORD(wParam),
                            FromHandle(reinterpret_cast<HWND>(lParam)));
            lResult = 0;
            return TRUE;
        case WM_VSCROLL:
            CWnd::OnVScroll(LOWORD(wParam), HIWORD(wParam),
                            FromHandle(reinterpret_cast<HWND>(lParam)));
            lResult = 0;
            return TRUE;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC: {
            CDC dc(reinterpret_cast<HDC>(wParam));
            lResult = reinterpret_cast<LRESULT>(CWnd::OnCtlColor(
                &dc, FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX));
            return TRUE;
        }
        case WM_DRAWITEM:
            CWnd::OnDrawItem(static_cast<int>(wParam),
                             reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
            lResult = TRUE;
            return TRUE;
        case WM_INITMENUPOPUP:
            AfxCallInitMenuPopup(this, &CWnd::OnInitMenuPopup, wParam, lParam);
            lResult = 0;
            return TRUE;
        default:
            return FALSE;
    }
}

void CWnd::OnHScroll(UINT code, UINT pos, CWnd* scrollBar) {
    CWnd* child = scrollBar ? FromHandlePermanent(scrollBar->m_hWnd) : nullptr;
    if (child && child->OnChildNotify(m_currentMsg.message, m_currentMsg.wParam,
                                      m_currentMsg.lParam, nullptr)) {
        return;
    }
    Default();
}

void CWnd::OnVScroll(UINT code, UINT pos, CWnd* scrollBar) { CWnd::OnHScroll(code, pos, scrollBar); }

void CWnd::OnInitMenuPopup(CMenu* popup, UINT index, BOOL sysMenu) {
    if (!sysMenu && popup && popup->m_hMenu) {
        int count = popup->GetMenuItemCount();
        for (int i = 0; i < count; ++i) {
            UINT id = popup->GetMenuItemID(i);
            if (id == 0 || id == static_cast<UINT>(-1)) {
                continue;  // separators and submenus
            }
            CCmdUI state(popup, static_cast<UINT>(i), id);
            state.DoUpdate(this);
        }
    }
    Default();
}

HBRUSH CWnd::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT ctlColor) {
    CWnd* child = pWnd ? FromHandlePermanent(pWnd->m_hWnd) : nullptr;
    LRESULT brush = 0;
    if (child && child->OnChildNotify(m_currentMsg.message, m_currentMsg.wParam,
                                      m_currentMsg.lParam, &brush) &&
        brush) {
        return reinterpret_cast<HBRUSH>(brush);
    }
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int id, LPDRAWITEMSTRUCT dis) {
    CWnd* child = dis && dis->CtlType != ODT_MENU ? FromHandlePermanent(dis->hwndItem) : nullptr;
    if (child && child->OnChildNotify(m_currentMsg.message, m_currentMsg.wParam,
                                      m_currentMsg.lParam, nullptr)) {
        return;
    }
    Default();
}

BOOL CWnd::SendChildNotifyLastMsg(LRESULT* pResult) {
    CWnd* parent = FromHandlePermanent(::GetParent(m_hWnd));
    if (!parent) {
        return FALSE;
    }
    const MSG& msg = parent->m_currentMsg;
    return OnChildNotify(msg.message, msg.wParam, msg.lParam, pResult);
}

CWnd* CWnd::GetDlgItem(int id) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (!item) {
        return nullptr;
    }
    if (CWnd* wnd = FromHandlePermanent(item)) {
        return wnd;
    }
    std::unique_ptr<CWnd>& slot = m_borrowed[item];
    if (!slot) {
        slot = std::make_unique<CWnd>();
        slot->m_hWnd = item;
    }
    return slot.get();
}

CWnd* CWnd::GetTopLevelParent() const {
    return FromHandle(::GetAncestor(m_hWnd, GA_ROOT));
}

std::string CWnd::GetWindowText() const {
    int length = ::GetWindowTextLengthA(m_hWnd);
    if (length <= 0) {
        return std::string();
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int n = ::GetWindowTextA(m_hWnd, &text[0], length + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::string CWnd::GetDlgItemText(int id) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (!item) {
        return std::string();
    }
    int length = ::GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    int n = ::GetWindowTextA(item, &text[0], static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

namespace {

BOOL ModifyLong(HWND hWnd, int index, DWORD remove, DWORD add, UINT swpFlags) {
    DWORD old = static_cast<DWORD>(::GetWindowLongPtrA(hWnd, index));
    DWORD changed = (old & ~remove) | add;
    if (changed == old) {
        return FALSE;
    }
    ::SetWindowLongPtrA(hWnd, index, static_cast<LONG_PTR>(changed));
    if (swpFlags) {
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    }
    return TRUE;
}

}  // namespace

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyLong(m_hWnd, GWL_STYLE, remove, add, swpFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
    return ModifyLong(m_hWnd, GWL_EXSTYLE, remove, add, swpFlags);
}

std::string CWnd::GetClassName() const {
    char name[261] = {};
    int n = ::GetClassNameA(m_hWnd, name, static_cast<int>(sizeof(name)));
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

void CWnd::ScreenToClient(LPRECT r) const {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(r), 2);
}

void CWnd::ClientToScreen(LPRECT r) const {
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(r), 2);
}
