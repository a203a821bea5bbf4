// CListCtrlNoHS: a list view that never shows a horizontal scroll bar.
#pragma once

#include "ListCtrl.h"

class CListCtrlNoHS : public CListCtrl {
protected:
    void OnSize(UINT type, int cx, int cy);
    LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()
};
