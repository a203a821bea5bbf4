// CListCtrl: the list view common control.
#pragma once

#include "ImageList.h"
#include "Wnd.h"

class CListCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CWnd::Create(WC_LISTVIEWA, "", style, rect, parent, id);
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertItem(int index, const char* text, int image = -1) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
        item.iItem = index;
        item.pszText = const_cast<char*>(text);
        item.iImage = image;
        return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    }
    BOOL SetItemText(int index, int subItem, const char* text) {
        LVITEMA item = {};
        item.iSubItem = subItem;
        item.pszText = const_cast<char*>(text);
        return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(&item)));
    }
    std::string GetItemText(int index, int subItem) const {
        char buffer[1024] = {};
        LVITEMA item = {};
        item.iSubItem = subItem;
        item.pszText = buffer;
        item.cchTextMax = static_cast<int>(sizeof(buffer));
        SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    BOOL SetItemData(int index, DWORD_PTR data) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        item.lParam = static_cast<LPARAM>(data);
        return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    }
    DWORD_PTR GetItemData(int index) const {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = index;
        SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return static_cast<DWORD_PTR>(item.lParam);
    }
    BOOL DeleteItem(int index) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, index)); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int InsertColumn(int index, const char* heading, int format = LVCFMT_LEFT, int width = -1) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0);
        column.fmt = format;
        column.cx = width;
        column.pszText = const_cast<char*>(heading);
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(&column)));
    }
    HIMAGELIST SetImageList(CImageList* list, int type) {
        return reinterpret_cast<HIMAGELIST>(SendMessage(
            LVM_SETIMAGELIST, static_cast<WPARAM>(type),
            reinterpret_cast<LPARAM>(list ? list->GetSafeHandle() : nullptr)));
    }
    HIMAGELIST GetImageList(int type) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, static_cast<WPARAM>(type)));
    }
    DWORD SetExtendedStyle(DWORD style) {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
    }
    DWORD GetExtendedStyle() const {
        return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE));
    }
    int GetNextItem(int start, int flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), flags));
    }
    UINT GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    BOOL SetItemState(int index, UINT state, UINT mask) {
        LVITEMA item = {};
        item.state = state;
        item.stateMask = mask;
        return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(&item)));
    }
    UINT GetItemState(int index, UINT mask) const {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(index), mask));
    }
    BOOL EnsureVisible(int index, BOOL partialOk) {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOk));
    }
    BOOL GetItemRect(int index, LPRECT rect, UINT code) const {
        rect->left = static_cast<LONG>(code);
        return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(rect)));
    }
    BOOL RedrawItems(int first, int last) {
        return static_cast<BOOL>(SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(first), last));
    }
    BOOL SetIconSpacing(int cx, int cy) {
        return SendMessage(LVM_SETICONSPACING, 0, MAKELPARAM(cx, cy)) != 0;
    }
};
