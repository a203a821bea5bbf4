// CImageList: an owned image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "Handle.h"

// Owns its HIMAGELIST. A list view given it must have LVS_SHAREIMAGELISTS, or the list view
// destroys it too.
class CImageList {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow) {
        m_list.Reset(ImageList_Create(cx, cy, flags, initial, grow));
        return static_cast<bool>(m_list);
    }
    HIMAGELIST GetSafeHandle() const { return m_list.Get(); }
    BOOL Attach(HIMAGELIST list) {
        m_list.Reset(list);
        return list != nullptr;
    }
    HIMAGELIST Detach() { return m_list.Release(); }
    BOOL DeleteImageList() {
        bool had = static_cast<bool>(m_list);
        m_list.Reset();
        return had;
    }
    int Add(HBITMAP image, HBITMAP mask = nullptr) { return ImageList_Add(m_list.Get(), image, mask); }
    int Add(HBITMAP image, COLORREF maskColor) {
        return ImageList_AddMasked(m_list.Get(), image, maskColor);
    }
    BOOL Replace(int index, HBITMAP image, HBITMAP mask = nullptr) {
        return ImageList_Replace(m_list.Get(), index, image, mask);
    }
    BOOL Remove(int index) { return ImageList_Remove(m_list.Get(), index); }
    int GetImageCount() const { return ImageList_GetImageCount(m_list.Get()); }
    BOOL SetImageCount(UINT count) { return ImageList_SetImageCount(m_list.Get(), count); }
    BOOL Draw(HDC hdc, int index, POINT at, UINT style) {
        return ImageList_Draw(m_list.Get(), index, hdc, at.x, at.y, style);
    }

private:
    CImageListHandle m_list;
};
