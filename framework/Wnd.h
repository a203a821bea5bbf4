// CWnd: the window wrapper every framework window and control derives from, with message maps.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <map>
#include <memory>
#include <string>

#include "DC.h"
#include "Geometry.h"
#include "Menu.h"
#include "MessageMap.h"

// Reflected notifications arrive at the control as WM_REFLECT_BASE + the original message.
constexpr UINT WM_REFLECT_BASE = 0xBC00;
// Command-routing codes besides a control's own notification code.
constexpr int CN_COMMAND = 0;
constexpr int CN_UPDATE_COMMAND_UI = -1;
constexpr int CN_EVENT = -2;

// What OnCmdMsg gets as pExtra for a routed WM_NOTIFY.
struct AFX_NOTIFY {
    LRESULT* pResult;
    NMHDR* pNMHDR;
};

// What OnCmdMsg gets as pExtra for CN_EVENT: a control's notification that the control and
// its parent left unhandled, offered to the parent's ancestors (a tab page's dialog).
struct AFX_CTLEVENT {
    UINT code;     // the notification code, as in HIWORD of the WM_COMMAND
    HWND control;  // the control that sent it
};

// Wraps one HWND. A window this object created (Create, CreateEx, a dialog) is destroyed with
// it; a window it only subclassed or attached (template controls) is borrowed and handed back
// untouched. Neither copyable nor movable, because the window holds a pointer to the object.
//
// Messages reach WindowProc from three kinds of windows: windows of classes registered with
// AfxRegisterWndClass (the object arrives with WM_NCCREATE), dialogs (WM_INITDIALOG) and any
// other window through SetWindowSubclass, removed at WM_NCDESTROY. An exception thrown by a
// handler never leaves the window procedure: it is stored for the running modal loop, which
// ends its dialog and rethrows from DoModal (see AfxStoreException).
//
// A control's WM_COMMAND or WM_NOTIFY takes one path: its parent reflects it to the control
// (the control's map answers WM_REFLECT_BASE + message); unless the control consumed it, the
// parent's map answers it by id and code (OnCmdMsg); a WM_COMMAND still unhandled is offered
// once more as CN_EVENT, which tab pages and tab controls pass up to the dialog. A window that
// only receives a notification forwarded from below (a tab control, a page routing to its
// parent) never reflects it again.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // The object attached to a window, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // The attached object, or a borrowed wrapper that lives while the window exists.
    static CWnd* FromHandle(HWND hWnd);

    // Creation. A class name of null means the framework's default window class.
    virtual BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName,
                          DWORD style, int x, int y, int width, int height, HWND parent,
                          HMENU idOrMenu);
    BOOL CreateEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id);
    virtual BOOL Create(const char* className, const char* windowName, DWORD style,
                        const RECT& rect, CWnd* parent, UINT id);
    virtual BOOL DestroyWindow();

    // Borrowing existing windows.
    BOOL Attach(HWND hWnd);  // no subclassing: messages are not seen
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // Message processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCmdMsg(UINT id, int code, void* pExtra);
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The message map; DECLARE_MESSAGE_MAP overrides it.
    virtual BOOL ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& lResult);
    // Called after a window has been subclassed, before its first message reaches the map.
    virtual void PreSubclassWindow() {}
    virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
    // Called after the last message; the window handle is already null.
    virtual void PostNcDestroy() {}

    // Default processing of the message being handled now.
    LRESULT Default();
    // Sends the current message of `parent` to this child as a reflected notification.
    BOOL SendChildNotifyLastMsg(LRESULT* pResult = nullptr);
    const MSG* GetCurrentMessage() const { return &m_currentMsg; }

    // Window operations (thin, as in Win32).
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* SetParent(CWnd* parent) {
        return FromHandle(::SetParent(m_hWnd, parent ? parent->m_hWnd : nullptr));
    }
    CWnd* GetWindow(UINT cmd) const { return FromHandle(::GetWindow(m_hWnd, cmd)); }
    CWnd* GetTopLevelParent() const;
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }

    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text ? text : ""); }
    std::string GetWindowText() const;
    int GetWindowText(char* buffer, int size) const {
        return ::GetWindowTextA(m_hWnd, buffer, size);
    }
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    void SetDlgItemText(int id, const char* text) {
        ::SetDlgItemTextA(m_hWnd, id, text ? text : "");
    }
    std::string GetDlgItemText(int id) const;
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }

    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const {
        return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE));
    }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
    std::string GetClassName() const;

    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
    void ScreenToClient(LPRECT r) const;
    void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
    void ClientToScreen(LPRECT r) const;
    void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, w, h, repaint);
    }
    void MoveWindow(const RECT& r, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, r.left, r.top, r.right - r.left, r.bottom - r.top, repaint);
    }
    BOOL SetWindowPos(HWND after, int x, int y, int w, int h, UINT flags) {
        return ::SetWindowPos(m_hWnd, after, x, y, w, h, flags);
    }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }

    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) {
        ::InvalidateRect(m_hWnd, rect, erase);
    }
    void ValidateRect(const RECT* rect) { ::ValidateRect(m_hWnd, rect); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(const RECT* rect = nullptr, HRGN rgn = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
        return ::RedrawWindow(m_hWnd, rect, rgn, flags);
    }
    void SetRedraw(BOOL redraw = TRUE) { ::SendMessageA(m_hWnd, WM_SETREDRAW, redraw, 0); }

    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::PostMessageA(m_hWnd, msg, wp, lp);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) {
        return ::SetTimer(m_hWnd, id, elapse, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    void SetFont(HFONT font, BOOL redraw = TRUE) {
        ::SendMessageA(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)); }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                                                      reinterpret_cast<LPARAM>(icon)));
    }
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    BOOL GetWindowPlacement(WINDOWPLACEMENT* wp) const {
        wp->length = sizeof(WINDOWPLACEMENT);
        return ::GetWindowPlacement(m_hWnd, wp);
    }
    BOOL SetWindowPlacement(const WINDOWPLACEMENT* wp) { return ::SetWindowPlacement(m_hWnd, wp); }

protected:
    // Default handlers, called by the message maps and by derived handlers for the platform's
    // behaviour. Scroll, colour and owner-draw messages are reflected to the sending control.
    int OnCreate(LPCREATESTRUCTA cs) { return static_cast<int>(Default()); }
    void OnDestroy() { Default(); }
    void OnNcDestroy() { Default(); }
    void OnClose() { Default(); }
    void OnPaint() { Default(); }
    BOOL OnEraseBkgnd(CDC* pDC) { return static_cast<BOOL>(Default()); }
    void OnSize(UINT type, int cx, int cy) { Default(); }
    void OnMove(int x, int y) { Default(); }
    void OnGetMinMaxInfo(MINMAXINFO* info) { Default(); }
    void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params) { Default(); }
    LRESULT OnNcHitTest(CPoint point) { return Default(); }
    void OnTimer(UINT_PTR id) { Default(); }
    void OnHScroll(UINT code, UINT pos, CWnd* scrollBar);
    void OnVScroll(UINT code, UINT pos, CWnd* scrollBar);
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT ctlColor);
    void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
    void OnLButtonDown(UINT flags, CPoint point) { Default(); }
    void OnLButtonUp(UINT flags, CPoint point) { Default(); }
    void OnLButtonDblClk(UINT flags, CPoint point) { Default(); }
    void OnRButtonDown(UINT flags, CPoint point) { Default(); }
    void OnRButtonUp(UINT flags, CPoint point) { Default(); }
    void OnMouseMove(UINT flags, CPoint point) { Default(); }
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) {
        return static_cast<BOOL>(Default());
    }
    void OnMouseLeave() { Default(); }
    BOOL OnSetCursor(CWnd* pWnd, UINT hitTest, UINT message) {
        return static_cast<BOOL>(Default());
    }
    void OnSetFocus(CWnd* oldWnd) { Default(); }
    void OnKillFocus(CWnd* newWnd) { Default(); }
    void OnChar(UINT ch, UINT repeat, UINT flags) { Default(); }
    void OnKeyDown(UINT key, UINT repeat, UINT flags) { Default(); }
    void OnKeyUp(UINT key, UINT repeat, UINT flags) { Default(); }
    UINT OnGetDlgCode() { return static_cast<UINT>(Default()); }
    void OnContextMenu(CWnd* pWnd, CPoint point) { Default(); }
    void OnShowWindow(BOOL show, UINT status) { Default(); }
    void OnSysCommand(UINT id, LPARAM lParam) { Default(); }
    void OnActivate(UINT state, CWnd* other, BOOL minimized) { Default(); }
    void OnCaptureChanged(CWnd* newCapture) { Default(); }
    // Asks every command of the popup for its state (ON_UPDATE_COMMAND_UI), then the default.
    void OnInitMenuPopup(CMenu* popup, UINT index, BOOL sysMenu);

    // Marks the window as created by this object, so the destructor destroys it.
    void SetOwnsWindow(bool owns) { m_ownsWindow = owns; }
    // Binds a window to this object without subclassing it (dialogs subclass separately).
    void BindHandle(HWND hWnd);
    BOOL InstallSubclass(HWND hWnd);

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK AfxSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    friend class CDialog;
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    // Runs WindowProc with the current message recorded, catching every exception.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // The last message for the window: unbinds it and calls PostNcDestroy.
    void FinishNcDestroy();

    MSG m_currentMsg = {};
    bool m_ownsWindow = false;
    bool m_subclassed = false;
    // Wrappers for child windows without an object of their own (GetDlgItem).
    mutable std::map<HWND, std::unique_ptr<CWnd>> m_borrowed;
};

// Registers (once) a window class with the framework's window procedure and returns its name.
const char* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr,
                                HBRUSH background = nullptr, HICON icon = nullptr);
// Registers a window class of this module (hInstance is set to it) and remembers it, so that
// AfxTermModule unregisters it; a class already registered by this module counts as success.
BOOL AfxRegisterClass(const WNDCLASSEXA& windowClass);

// Releases what the framework created for this module, so that nothing outlives it once the
// module is unloaded: its window classes, its activation context, the wrappers of borrowed
// windows and a pending exception. Run at DLL detach; windows of the module must be gone.
void AfxTermModule();

// Hands an exception caught inside a window procedure to the innermost running modal loop,
// which ends its dialog and rethrows it from DoModal. Without a running loop it is kept until
// AfxTakePendingException collects it (a later DoModal also rethrows it).
void AfxStoreException(std::exception_ptr error);
std::exception_ptr AfxTakePendingException();

// Offers a message to the PreTranslateMessage of every framework window from its target up to
// (and including) `stop`, or to the top-level window when `stop` is null. TRUE: consumed.
BOOL AfxPreTranslateMessage(MSG* msg, HWND stop);

template <class T>
LRESULT AfxCallEraseBkgnd(T* self, BOOL (T::*fn)(CDC*), WPARAM wParam) {
    CDC dc(reinterpret_cast<HDC>(wParam));
    return (self->*fn)(&dc);
}

template <class T>
void AfxCallInitMenuPopup(T* self, void (T::*fn)(CMenu*, UINT, BOOL), WPARAM wParam,
                          LPARAM lParam) {
    CMenu popup;  // borrowed for the call: not owned, so not destroyed
    popup.m_hMenu = reinterpret_cast<HMENU>(wParam);
    (self->*fn)(&popup, LOWORD(lParam), HIWORD(lParam) != 0);
    popup.m_hMenu = nullptr;
}

template <class T>
LRESULT AfxCallCtlColor(T* self, HBRUSH (T::*fn)(CDC*, CWnd*, UINT), UINT message,
                        WPARAM wParam, LPARAM lParam) {
    CDC dc(reinterpret_cast<HDC>(wParam));
    return reinterpret_cast<LRESULT>((self->*fn)(
        &dc, CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX));
}

template <class T>
LRESULT AfxCallCtlColorReflect(T* self, HBRUSH (T::*fn)(CDC*, UINT), UINT message,
                               WPARAM wParam) {
    CDC dc(reinterpret_cast<HDC>(wParam));
    return reinterpret_cast<LRESULT>((self->*fn)(&dc, message - WM_CTLCOLORMSGBOX));
}
