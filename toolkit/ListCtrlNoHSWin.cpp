// The list view without a horizontal scroll bar: the style is removed before every layout.
#include "ListCtrlNoHSWin.h"

BEGIN_MESSAGE_MAP(CListCtrlNoHS, CListCtrl)
    ON_WM_SIZE()
    ON_MESSAGE(WM_NCCALCSIZE, &CListCtrlNoHS::OnNcCalcSize)
END_MESSAGE_MAP()

void CListCtrlNoHS::OnSize(UINT type, int cx, int cy) {
    ModifyStyle(WS_HSCROLL, 0);
    CListCtrl::OnSize(type, cx, cy);
}

LRESULT CListCtrlNoHS::OnNcCalcSize(WPARAM, LPARAM) {
    ModifyStyle(WS_HSCROLL, 0);
    return Default();
}
