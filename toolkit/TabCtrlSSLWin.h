// CTabCtrlSSL: a tab control that owns one child dialog page per tab.
#pragma once

#include <vector>

#include "TabCtrl.h"
#include "TabPageSSLWin.h"

// A page of the tab control, and whether the control deletes the page object when it is
// destroyed (pages that are members of their dialog are not deleted).
struct TabDelete {
    CTabPageSSL* page;
    BOOL deleteFlag;
};

// Keeps three parallel arrays in tab order: the pages, the window each page gives the focus
// to when shown again, and the caller's page numbers. Exactly one page is visible. Commands
// and notifications reaching the control are passed to its parent unchanged.
class CTabCtrlSSL : public CTabCtrl {
public:
    CTabCtrlSSL() = default;
    ~CTabCtrlSSL() override;

    // Adds a tab showing `page` (a window already); the first page is shown at once.
    // Returns the tab index, or -1 (no tab is left behind for a null page).
    int AppendPage(const char* title, int pageNumber, CTabPageSSL* page);

    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    // Throws std::invalid_argument for an index outside the pages.
    CTabPageSSL* GetPage(int index) const;
    int GetPageNumber(int index) const;
    HWND GetFocusWindow(int index) const;

    // Hooks. The focus policy says whether a new page first focuses its first child control
    // (true) or the window that has the focus now.
    virtual BOOL PageFocusPolicy(int index, int pageNumber) { return TRUE; }
    virtual void PageShown(int index, int pageNumber) {}
    virtual void PageHiding(int index, int pageNumber) {}
    virtual void PageClosing(int index, int pageNumber) {}

protected:
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnCmdMsg(UINT id, int code, void* pExtra) override;

    void OnDestroy();
    void OnSetFocus(CWnd* oldWnd);
    void OnKillFocus(CWnd* newWnd);
    void OnSize(UINT type, int cx, int cy);
    BOOL OnSelChanging(NMHDR* nmhdr, LRESULT* result);
    BOOL OnSelChange(NMHDR* nmhdr, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    void SizePage(int index, int cx, int cy);
    void CheckIndex(int index) const;

    std::vector<TabDelete> m_pages;
    std::vector<HWND> m_focus;
    std::vector<int> m_numbers;
};
