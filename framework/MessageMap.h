// Message maps in the framework's outward form. A map expands to one member function holding
// an if-chain that ends in the base class's map; every handler is called through a member
// pointer of its exact expected type, so a handler with a wrong signature does not compile.
//
//   class CNavWnd : public CWnd { ... DECLARE_MESSAGE_MAP() };
//   BEGIN_MESSAGE_MAP(CNavWnd, CWnd)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(IDC_FIT, &CNavWnd::OnFit)
//   END_MESSAGE_MAP()
//
// Handlers take the framework's arguments, with CWnd* wherever a window is passed (also for
// the scroll bar of OnHScroll/OnVScroll).
#pragma once

#define afx_msg

class CCmdUI;
class CDC;
class CMenu;
class CWnd;

// Calls a handler that takes a device context, wrapping the message's HDC without owning it.
template <class T>
LRESULT AfxCallEraseBkgnd(T* self, BOOL (T::*fn)(CDC*), WPARAM wParam);
template <class T>
void AfxCallInitMenuPopup(T* self, void (T::*fn)(CMenu*, UINT, BOOL), WPARAM wParam,
                          LPARAM lParam);
template <class T>
LRESULT AfxCallCtlColor(T* self, HBRUSH (T::*fn)(CDC*, CWnd*, UINT), UINT message,
                        WPARAM wParam, LPARAM lParam);
template <class T>
LRESULT AfxCallCtlColorReflect(T* self, HBRUSH (T::*fn)(CDC*, UINT), UINT message,
                               WPARAM wParam);

#define DECLARE_MESSAGE_MAP()                                                          \
protected:                                                                             \
    BOOL ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,              \
                              LRESULT& lResult) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
    BOOL theClass::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,    \
                                        LRESULT& lResult) {                            \
        using ThisClass = theClass;                                                    \
        using TheBaseClass = baseClass;                                                \
        (void)wParam;                                                                  \
        (void)lParam;

#define END_MESSAGE_MAP()                                                              \
    return TheBaseClass::ProcessWindowMessage(message, wParam, lParam, lResult);       \
    }

// The handler `name` of this class, as a member pointer of exactly type `sig`.
#define VG_HANDLER(sig, name) static_cast<sig>(&ThisClass::name)
#define VG_HANDLED(expr) \
    {                    \
        expr;            \
        return TRUE;     \
    }

// ---- Window messages ----
#define ON_WM_CREATE()                                                                 \
    if (message == WM_CREATE)                                                          \
        VG_HANDLED(lResult = (this->*VG_HANDLER(int (ThisClass::*)(LPCREATESTRUCTA),   \
                                                OnCreate))(                            \
                       reinterpret_cast<LPCREATESTRUCTA>(lParam)))
#define ON_WM_DESTROY()                                                                \
    if (message == WM_DESTROY)                                                         \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(), OnDestroy))(); lResult = 0)
#define ON_WM_NCDESTROY()                                                              \
    if (message == WM_NCDESTROY)                                                       \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(), OnNcDestroy))(); lResult = 0)
#define ON_WM_CLOSE()                                                                  \
    if (message == WM_CLOSE)                                                           \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(), OnClose))(); lResult = 0)
#define ON_WM_PAINT()                                                                  \
    if (message == WM_PAINT)                                                           \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(), OnPaint))(); lResult = 0)
#define ON_WM_ERASEBKGND()                                                             \
    if (message == WM_ERASEBKGND)                                                      \
        VG_HANDLED(lResult = AfxCallEraseBkgnd(                                        \
                       this, VG_HANDLER(BOOL (ThisClass::*)(CDC*), OnEraseBkgnd), wParam))
#define ON_WM_SIZE()                                                                   \
    if (message == WM_SIZE)                                                            \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, int, int), OnSize))(   \
                       static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),  \
                       static_cast<short>(HIWORD(lParam)));                            \
                   lResult = 0)
#define ON_WM_MOVE()                                                                   \
    if (message == WM_MOVE)                                                            \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(int, int), OnMove))(         \
                       static_cast<short>(LOWORD(lParam)),                             \
                       static_cast<short>(HIWORD(lParam)));                            \
                   lResult = 0)
#define ON_WM_GETMINMAXINFO()                                                          \
    if (message == WM_GETMINMAXINFO)                                                   \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(MINMAXINFO*),                \
                                      OnGetMinMaxInfo))(                               \
                       reinterpret_cast<MINMAXINFO*>(lParam));                         \
                   lResult = 0)
#define ON_WM_NCCALCSIZE()                                                             \
    if (message == WM_NCCALCSIZE)                                                      \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(BOOL, NCCALCSIZE_PARAMS*),   \
                                      OnNcCalcSize))(                                  \
                       static_cast<BOOL>(wParam),                                      \
                       reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam));                  \
                   lResult = 0)
#define ON_WM_NCHITTEST()                                                              \
    if (message == WM_NCHITTEST)                                                       \
        VG_HANDLED(lResult = (this->*VG_HANDLER(LRESULT (ThisClass::*)(CPoint),        \
                                                OnNcHitTest))(CPoint(lParam)))
#define ON_WM_TIMER()                                                                  \
    if (message == WM_TIMER)                                                           \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT_PTR), OnTimer))(        \
                       static_cast<UINT_PTR>(wParam));                                 \
                   lResult = 0)
#define ON_WM_HSCROLL()                                                                \
    if (message == WM_HSCROLL)                                                         \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, UINT, CWnd*),          \
                                      OnHScroll))(                                     \
                       LOWORD(wParam), HIWORD(wParam),                                 \
                       CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));              \
                   lResult = 0)
#define ON_WM_VSCROLL()                                                                \
    if (message == WM_VSCROLL)                                                         \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, UINT, CWnd*),          \
                                      OnVScroll))(                                     \
                       LOWORD(wParam), HIWORD(wParam),                                 \
                       CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));              \
                   lResult = 0)
#define ON_WM_CTLCOLOR()                                                               \
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)                  \
        VG_HANDLED(lResult = AfxCallCtlColor(                                          \
                       this, VG_HANDLER(HBRUSH (ThisClass::*)(CDC*, CWnd*, UINT),      \
                                        OnCtlColor),                                   \
                       message, wParam, lParam))
#define ON_WM_DRAWITEM()                                                               \
    if (message == WM_DRAWITEM)                                                        \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(int, LPDRAWITEMSTRUCT),      \
                                      OnDrawItem))(                                    \
                       static_cast<int>(wParam),                                       \
                       reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));                    \
                   lResult = TRUE)
#define VG_ON_MOUSE(msg, name)                                                         \
    if (message == msg)                                                                \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, CPoint), name))(       \
                       static_cast<UINT>(wParam), CPoint(lParam));                     \
                   lResult = 0)
#define ON_WM_LBUTTONDOWN() VG_ON_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() VG_ON_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() VG_ON_MOUSE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() VG_ON_MOUSE(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() VG_ON_MOUSE(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_MOUSEMOVE() VG_ON_MOUSE(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_MOUSEWHEEL()                                                             \
    if (message == WM_MOUSEWHEEL)                                                      \
        VG_HANDLED(lResult = (this->*VG_HANDLER(BOOL (ThisClass::*)(UINT, short, CPoint), \
                                                OnMouseWheel))(                        \
                       LOWORD(wParam), static_cast<short>(HIWORD(wParam)), CPoint(lParam)))
#define ON_WM_MOUSELEAVE()                                                             \
    if (message == WM_MOUSELEAVE)                                                      \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(), OnMouseLeave))(); lResult = 0)
#define ON_WM_SETCURSOR()                                                              \
    if (message == WM_SETCURSOR)                                                       \
        VG_HANDLED(lResult = (this->*VG_HANDLER(BOOL (ThisClass::*)(CWnd*, UINT, UINT), \
                                                OnSetCursor))(                         \
                       CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam), \
                       HIWORD(lParam)))
#define ON_WM_SETFOCUS()                                                               \
    if (message == WM_SETFOCUS)                                                        \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(CWnd*), OnSetFocus))(        \
                       CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));              \
                   lResult = 0)
#define ON_WM_KILLFOCUS()                                                              \
    if (message == WM_KILLFOCUS)                                                       \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(CWnd*), OnKillFocus))(       \
                       CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));              \
                   lResult = 0)
#define VG_ON_KEY(msg, name)                                                           \
    if (message == msg)                                                                \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, UINT, UINT), name))(   \
                       static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));     \
                   lResult = 0)
#define ON_WM_CHAR() VG_ON_KEY(WM_CHAR, OnChar)
#define ON_WM_KEYDOWN() VG_ON_KEY(WM_KEYDOWN, OnKeyDown)
#define ON_WM_KEYUP() VG_ON_KEY(WM_KEYUP, OnKeyUp)
#define ON_WM_GETDLGCODE()                                                             \
    if (message == WM_GETDLGCODE)                                                      \
        VG_HANDLED(lResult = (this->*VG_HANDLER(UINT (ThisClass::*)(), OnGetDlgCode))())
#define ON_WM_CONTEXTMENU()                                                            \
    if (message == WM_CONTEXTMENU)                                                     \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(CWnd*, CPoint), OnContextMenu))( \
                       CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), CPoint(lParam)); \
                   lResult = 0)
#define ON_WM_SHOWWINDOW()                                                             \
    if (message == WM_SHOWWINDOW)                                                      \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(BOOL, UINT), OnShowWindow))( \
                       static_cast<BOOL>(wParam), static_cast<UINT>(lParam));          \
                   lResult = 0)
#define ON_WM_SYSCOMMAND()                                                             \
    if (message == WM_SYSCOMMAND)                                                      \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, LPARAM), OnSysCommand))( \
                       static_cast<UINT>(wParam), lParam);                             \
                   lResult = 0)
#define ON_WM_ACTIVATE()                                                               \
    if (message == WM_ACTIVATE)                                                        \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, CWnd*, BOOL), OnActivate))( \
                       LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), \
                       HIWORD(wParam) != 0);                                           \
                   lResult = 0)
// The popup about to open (borrowed for the call), its index in the parent menu, and whether
// it is the window menu.
#define ON_WM_INITMENUPOPUP()                                                          \
    if (message == WM_INITMENUPOPUP)                                                   \
        VG_HANDLED(AfxCallInitMenuPopup(                                               \
                       this, VG_HANDLER(void (ThisClass::*)(CMenu*, UINT, BOOL),       \
                                        OnInitMenuPopup),                              \
                       wParam, lParam);                                                \
                   lResult = 0)
#define ON_WM_CAPTURECHANGED()                                                         \
    if (message == WM_CAPTURECHANGED)                                                  \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(CWnd*), OnCaptureChanged))(  \
                       CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));              \
                   lResult = 0)
// Any message: LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(msg, memberFxn)                                                     \
    if (message == (msg))                                                              \
        VG_HANDLED(lResult = (this->*static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>( \
                                  memberFxn))(wParam, lParam))

// ---- Commands and notifications (reached through OnCmdMsg, after reflection) ----
#define ON_COMMAND(id, memberFxn)                                                      \
    if (message == WM_COMMAND && HIWORD(wParam) == CN_COMMAND && LOWORD(wParam) == (id)) \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)()>(memberFxn))(); lResult = 0)
#define ON_COMMAND_RANGE(idFirst, idLast, memberFxn)                                   \
    if (message == WM_COMMAND && HIWORD(wParam) == CN_COMMAND &&                       \
        LOWORD(wParam) >= (idFirst) && LOWORD(wParam) <= (idLast))                     \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)(UINT)>(memberFxn))(         \
                       LOWORD(wParam));                                                \
                   lResult = 0)
#define ON_CONTROL(nfCode, id, memberFxn)                                                \
    if (message == WM_COMMAND && HIWORD(wParam) == static_cast<WORD>(nfCode) &&          \
        LOWORD(wParam) == (id))                                                        \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)()>(memberFxn))(); lResult = 0)
// A control notification that the control's parent left unhandled, offered to the parent's
// ancestors through their command routing (CN_EVENT); see AFX_CTLEVENT.
#define ON_CONTROL_EVENT(nfCode, id, memberFxn)                                          \
    if (message == WM_COMMAND && HIWORD(wParam) == static_cast<WORD>(CN_EVENT) &&      \
        LOWORD(wParam) == (id) && lParam &&                                            \
        reinterpret_cast<const AFX_CTLEVENT*>(lParam)->code ==                         \
            static_cast<UINT>(static_cast<WORD>(nfCode)))                                \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)()>(memberFxn))(); lResult = 0)
// The state of a menu item (or any command source) before it is shown.
#define ON_UPDATE_COMMAND_UI(id, memberFxn)                                              \
    if (message == WM_COMMAND &&                                                       \
        HIWORD(wParam) == static_cast<WORD>(CN_UPDATE_COMMAND_UI) &&                     \
        LOWORD(wParam) == (id) && lParam)                                              \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)(CCmdUI*)>(memberFxn))(      \
                       reinterpret_cast<CCmdUI*>(lParam));                             \
                   lResult = 0)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_UPDATE(id, memberFxn) ON_CONTROL(EN_UPDATE, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_NOTIFY(nfCode, id, memberFxn)                                                 \
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code ==              \
                                    static_cast<UINT>(nfCode) &&                         \
        reinterpret_cast<NMHDR*>(lParam)->idFrom == static_cast<UINT_PTR>(id))         \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)(NMHDR*, LRESULT*)>(memberFxn))( \
                       reinterpret_cast<NMHDR*>(lParam), &lResult))

// ---- Reflected to the control that sent them ----
#define ON_CONTROL_REFLECT(nfCode, memberFxn)                                            \
    if (message == WM_REFLECT_BASE + WM_COMMAND &&                                     \
        HIWORD(wParam) == static_cast<WORD>(nfCode))                                     \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)()>(memberFxn))(); lResult = 0)
// The handler returns FALSE to let the parent handle the notification as well.
#define ON_CONTROL_REFLECT_EX(nfCode, memberFxn)                                         \
    if (message == WM_REFLECT_BASE + WM_COMMAND &&                                     \
        HIWORD(wParam) == static_cast<WORD>(nfCode)) {                                   \
        lResult = 0;                                                                   \
        return (this->*static_cast<BOOL (ThisClass::*)()>(memberFxn))();               \
    }
#define ON_NOTIFY_REFLECT(nfCode, memberFxn)                                             \
    if (message == WM_REFLECT_BASE + WM_NOTIFY &&                                      \
        reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(nfCode))             \
        VG_HANDLED((this->*static_cast<void (ThisClass::*)(NMHDR*, LRESULT*)>(memberFxn))( \
                       reinterpret_cast<NMHDR*>(lParam), &lResult))
#define ON_NOTIFY_REFLECT_EX(nfCode, memberFxn)                                          \
    if (message == WM_REFLECT_BASE + WM_NOTIFY &&                                      \
        reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(nfCode)) {           \
        return (this->*static_cast<BOOL (ThisClass::*)(NMHDR*, LRESULT*)>(memberFxn))( \
            reinterpret_cast<NMHDR*>(lParam), &lResult);                               \
    }
#define ON_WM_HSCROLL_REFLECT()                                                        \
    if (message == WM_REFLECT_BASE + WM_HSCROLL)                                       \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, UINT), HScroll))(      \
                       LOWORD(wParam), HIWORD(wParam));                                \
                   lResult = 0)
#define ON_WM_VSCROLL_REFLECT()                                                        \
    if (message == WM_REFLECT_BASE + WM_VSCROLL)                                       \
        VG_HANDLED((this->*VG_HANDLER(void (ThisClass::*)(UINT, UINT), VScroll))(      \
                       LOWORD(wParam), HIWORD(wParam));                                \
                   lResult = 0)
#define ON_WM_CTLCOLOR_REFLECT()                                                       \
    if (message >= WM_REFLECT_BASE + WM_CTLCOLORMSGBOX &&                              \
        message <= WM_REFLECT_BASE + WM_CTLCOLORSTATIC)                                \
        VG_HANDLED(lResult = AfxCallCtlColorReflect(                                   \
                       this, VG_HANDLER(HBRUSH (ThisClass::*)(CDC*, UINT), CtlColor),  \
                       message - WM_REFLECT_BASE, wParam))
