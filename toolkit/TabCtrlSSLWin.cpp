// The tab control with pages: appending, sizing, switching, focus memory and forwarding.
#include "TabCtrlSSLWin.h"

#include <stdexcept>

BEGIN_MESSAGE_MAP(CTabCtrlSSL, CTabCtrl)
    ON_WM_DESTROY()
    ON_WM_SETFOCUS()
    ON_WM_KILLFOCUS()
    ON_WM_SIZE()
    // The parent still sees both notifications (it refreshes its pages on a change).
    ON_NOTIFY_REFLECT_EX(TCN_SELCHANGING, &CTabCtrlSSL::OnSelChanging)
    ON_NOTIFY_REFLECT_EX(TCN_SELCHANGE, &CTabCtrlSSL::OnSelChange)
END_MESSAGE_MAP()

CTabCtrlSSL::~CTabCtrlSSL() {
    // Pages the control owns go with it even when the window was never destroyed normally.
    for (TabDelete& entry : m_pages) {
        if (entry.deleteFlag) {
            delete entry.page;
        }
    }
}

void CTabCtrlSSL::CheckIndex(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_pages.size()) {
        throw std::invalid_argument("tab page index out of range");
    }
}

CTabPageSSL* CTabCtrlSSL::GetPage(int index) const {
    CheckIndex(index);
    return m_pages[static_cast<size_t>(index)].page;
}

int CTabCtrlSSL::GetPageNumber(int index) const {
    CheckIndex(index);
    return m_numbers[static_cast<size_t>(index)];
}

HWND CTabCtrlSSL::GetFocusWindow(int index) const {
    CheckIndex(index);
    return m_focus[static_cast<size_t>(index)];
}

int CTabCtrlSSL::AppendPage(const char* title, int pageNumber, CTabPageSSL* page) {
    int index = GetItemCount();
    if (InsertItem(index, title ? title : "") == -1) {
        return -1;
    }
    if (!page || !page->m_hWnd) {
        DeleteItem(index);
        return -1;
    }
    m_pages.push_back(TabDelete{page, FALSE});
    m_numbers.push_back(pageNumber);
    ::SetParent(page->m_hWnd, m_hWnd);
    // The tab control and its pages are nested control parents: the dialog's navigation
    // (Tab, arrows, the default button) reaches the controls of the visible page.
    ModifyStyleEx(0, WS_EX_CONTROLPARENT);
    page->ModifyStyleEx(0, WS_EX_CONTROLPARENT);
    RECT client;
    GetClientRect(&client);
    if (client.right - client.left > 0 && client.bottom - client.top > 0) {
        SizePage(index, client.right - client.left, client.bottom - client.top);
    }
    HWND focus = PageFocusPolicy(index, pageNumber) ? ::GetWindow(page->m_hWnd, GW_CHILD)
                                                    : ::GetFocus();
    m_focus.push_back(focus);
    // Exactly one page is visible: a later page stays hidden until its tab is selected, even
    // when its template made it visible.
    page->ShowWindow(index == 0 ? SW_SHOW : SW_HIDE);
    return index;
}

void CTabCtrlSSL::SizePage(int index, int cx, int cy) {
    if (index < 0 || static_cast<size_t>(index) >= m_pages.size()) {
        return;
    }
    CTabPageSSL* page = m_pages[static_cast<size_t>(index)].page;
    RECT item = {0, 0, 0, 0};
    GetItemRect(index, &item);
    int rows = GetRowCount();
    DWORD style = GetStyle();
    int x;
    int y;
    int width;
    int height;
    if (style & TCS_VERTICAL) {
        int band = rows * (item.right - item.left);
        y = 4;
        height = cy - 8;
        width = cx - (band + 8);
        x = (style & TCS_RIGHT) ? 4 : band + 4;
    } else {
        int band = rows * (item.bottom - item.top);
        x = 4;
        width = cx - 8;
        height = cy - (band + 8);
        y = (style & TCS_BOTTOM) ? 4 : band + 4;
    }
    ::SetWindowPos(page->m_hWnd, nullptr, x, y, width > 0 ? width : 0, height > 0 ? height : 0,
                   SWP_NOZORDER);
}

BOOL CTabCtrlSSL::OnSelChanging(NMHDR*, LRESULT* result) {
    int index = GetCurSel();
    if (index >= 0 && static_cast<size_t>(index) < m_pages.size()) {
        size_t i = static_cast<size_t>(index);
        PageHiding(index, m_numbers[i]);
        m_focus[i] = ::GetFocus();
        m_pages[i].page->ShowWindow(SW_HIDE);
    }
    *result = FALSE;  // allow the change
    return FALSE;
}

BOOL CTabCtrlSSL::OnSelChange(NMHDR*, LRESULT* result) {
    int index = GetCurSel();
    if (index >= 0 && static_cast<size_t>(index) < m_pages.size()) {
        size_t i = static_cast<size_t>(index);
        if (::IsWindow(m_focus[i])) {
            ::SetFocus(m_focus[i]);
        }
        RECT client;
        GetClientRect(&client);
        SizePage(index, client.right - client.left, client.bottom - client.top);
        m_pages[i].page->ShowWindow(SW_SHOW);
        PageShown(index, m_numbers[i]);
    }
    *result = 0;
    return FALSE;
}

void CTabCtrlSSL::OnSetFocus(CWnd* oldWnd) {
    CTabCtrl::OnSetFocus(oldWnd);
    int index = GetCurSel();
    if (index >= 0 && static_cast<size_t>(index) < m_focus.size() &&
        ::IsWindow(m_focus[static_cast<size_t>(index)])) {
        ::SetFocus(m_focus[static_cast<size_t>(index)]);
    }
}

void CTabCtrlSSL::OnKillFocus(CWnd* newWnd) {
    CTabCtrl::OnKillFocus(newWnd);
    int index = GetCurSel();
    if (index >= 0 && static_cast<size_t>(index) < m_focus.size()) {
        m_focus[static_cast<size_t>(index)] = newWnd ? newWnd->m_hWnd : nullptr;
    }
}

void CTabCtrlSSL::OnSize(UINT type, int cx, int cy) {
    CTabCtrl::OnSize(type, cx, cy);
    SizePage(GetCurSel(), cx, cy);
}

void CTabCtrlSSL::OnDestroy() {
    for (size_t i = m_pages.size(); i-- > 0;) {
        PageClosing(static_cast<int>(i), m_numbers[i]);
        CTabPageSSL* page = m_pages[i].page;
        page->DestroyWindow();
        if (m_pages[i].deleteFlag) {
            delete page;
        }
    }
    m_pages.clear();
    m_focus.clear();
    m_numbers.clear();
    CTabCtrl::OnDestroy();
}

BOOL CTabCtrlSSL::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_COMMAND || message == WM_NOTIFY) {
        HWND parent = ::GetParent(m_hWnd);
        *pResult = parent ? ::SendMessageA(parent, message, wParam, lParam) : 0;
        return TRUE;
    }
    return CTabCtrl::OnWndMsg(message, wParam, lParam, pResult);
}

BOOL CTabCtrlSSL::OnCmdMsg(UINT id, int code, void* pExtra) {
    if (code == CN_EVENT) {
        CWnd* parent = CWnd::FromHandlePermanent(::GetParent(m_hWnd));
        return parent ? parent->OnCmdMsg(id, code, pExtra) : FALSE;
    }
    return CTabCtrl::OnCmdMsg(id, code, pExtra);
}
