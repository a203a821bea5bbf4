// The preset list: filling it with names or thumbnails, and applying a preset on selection.
#include "presets/PresetPanelWin.h"

#include <algorithm>
#include <memory>
#include <new>

#include "DC.h"
#include "WaitCursor.h"
#include "plugin/FilterParams.h"
#include "plugin/MFCPlugInApp.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"
#include "presets/ThumbnailMath.h"

namespace {

constexpr int kPresetColumnWidth = 324;
constexpr char kMark[] = "***";

PresetValues ValuesOf(const FilterParams& params) {
    PresetValues values{};
    for (int i = 0; i < kPresetParamCount; ++i) {
        values[i] = GetParam(params, i);
    }
    return values;
}

// A bottom-up 24-bit bitmap description of width x height pixels, rows padded to 4 bytes.
BITMAPINFO ThumbnailInfo(int width, int height, size_t stride) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride * size_t(height));
    info.bmiHeader.biXPelsPerMeter = 3780;
    info.bmiHeader.biYPelsPerMeter = 3780;
    return info;
}

}  // namespace

CPresetPanel::CPresetPanel(CPresetHost& host, CPresetStore& store, CListCtrl& list)
    : m_host(host), m_store(store), m_list(list) {}

void CPresetPanel::SetUpList() {
    m_list.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_BORDERSELECT, LVS_EX_BORDERSELECT);
    m_list.InsertColumn(0, "Preset", LVCFMT_LEFT, kPresetColumnWidth);
    m_thumbnails.Create(kThumbWidth, kThumbHeight, ILC_COLOR24, 0, 1);
    m_list.SetImageList(&m_thumbnails, LVSIL_NORMAL);
    m_selectedPreset = -1;
    m_thumbMaxDec = CMFCPlugInApp::Get().getThumbMaxDec(kThumbWidth, kThumbHeight, kThumbScale);
}

void CPresetPanel::ReleaseList() {
    // The list shares the image list (LVS_SHAREIMAGELISTS), which this panel destroys.
    if (m_list.m_hWnd) {
        m_list.SetImageList(nullptr, LVSIL_NORMAL);
    }
}

int CPresetPanel::loadThumbNails() {
    CWaitCursor wait;
    RECT proxy;
    if (!m_host.getProxyRect(proxy)) {
        WriteTrace("PX Dlg loadThumbNails - return", "error get proxy");
        return 0;
    }
    WriteTrace("PX:loadThumbNails()", "begin");
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    app.copyParams(app.params, &app.thumbParams);

    m_list.SetRedraw(FALSE);
    m_thumbnails.Remove(-1);
    if (m_list.GetItemCount() > 0) {
        m_list.DeleteAllItems();
    }
    m_list.ModifyStyle(LVS_TYPEMASK, m_listView ? LVS_REPORT : LVS_ICON);

    const int count = m_store.GetCount();
    if (m_listView) {
        // Names only: no request, no engine; the preview keeps what it shows.
        for (int i = 0; i < count; ++i) {
            m_list.InsertItem(i, m_store.GetDisplayName(i).c_str(), i);
        }
        m_list.SetRedraw(TRUE);
        m_list.Invalidate();
        m_host.displayProxy(false);
        WriteTrace("PX:loadThumbNails()", "end");
        return count;
    }

    // The host's current request, put back at the end.
    const int inDec = app.getInDec();
    Rect32 in{};
    app.getInRect(in.top, in.bottom, in.left, in.right);

    double zoom = 1;
    int32_t originX = 0, originY = 0;
    m_host.GetPreviewPlacement(zoom, originX, originY);
    const int inWidth = in.right - in.left;
    const int inHeight = in.bottom - in.top;
    const ThumbPoint centre = ThumbCentre(proxy.right - proxy.left, proxy.bottom - proxy.top,
                                          inWidth, inHeight, zoom, originX, originY);
    const int step = ThumbDecimation(inDec, inWidth, inHeight, m_thumbMaxDec);
    app.getInRectForThumb(kThumbWidth, kThumbHeight, kThumbScale, step, centre.x, centre.y);
    const int w = std::max(0, app.getInWidth());
    const int h = std::max(0, app.getInHeight());

    // One buffer for every thumbnail, one spare row as the design has it. The region is at
    // most twice the thumbnail size, so the sizes cannot overflow.
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    std::unique_ptr<unsigned char[]> buffer(
        new (std::nothrow) unsigned char[stride + size_t(h) * stride]);
    if (!buffer) {
        FailMessage("thumb memory alloc error");
    }

    m_thumbnails.SetImageCount(static_cast<UINT>(count));
    for (int i = 0; i < count; ++i) {
        m_list.InsertItem(i, m_store.GetDisplayName(i).c_str(), i);
        if (i == 0) {
            PaintOnceWithItems();
        }
        readPreset(i, false);
        app.procInRect(false);
        app.copyOutRect(buffer.get(), static_cast<int>(stride), w, h, true);
        StoreThumbnail(i, buffer.get(), w, h);
        POINT at = {};
        m_list.SendMessage(LVM_GETITEMPOSITION, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(&at));
        at.y = ThumbItemTop(i);
        m_list.SendMessage(LVM_SETITEMPOSITION32, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(&at));
        m_list.RedrawItems(i, i);
        WriteTrace("PX:loadThumbNails() - end for", int32_t(i));
    }
    buffer.reset();
    m_list.SetRedraw(TRUE);
    m_list.Invalidate();

    app.setParams(&app.thumbParams);
    m_host.RefreshPages();
    app.setAllRect(in.top, in.bottom, in.left, in.right, inDec);
    m_host.procForProxy();
    m_host.displayProxy(false);
    WriteTrace("PX:loadThumbNails()", "end");
    return count;
}

void CPresetPanel::PaintOnceWithItems() {
    // Wine's list view arranges its icons afresh at its first paint with items, which would
    // undo the thumbnails' positions when the dialog first shows: that paint happens here,
    // off screen, before any position is set.
    if (m_paintedWithItems) {
        return;
    }
    CClientDC listDc(&m_list);
    CDC memory;
    CBitmapHandle canvas(::CreateCompatibleBitmap(listDc.m_hDC, 1, 1));
    if (memory.CreateCompatibleDC(&listDc) && canvas) {
        CSelectObject select(memory.m_hDC, canvas.Get());
        m_list.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.m_hDC), PRF_CLIENT);
        m_paintedWithItems = true;
    }
}

void CPresetPanel::StoreThumbnail(int index, const unsigned char* pixels, int width, int height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    BITMAPINFO info = ThumbnailInfo(width, height, stride);
    CClientDC listDc(&m_list);
    CDC memory;
    if (!memory.CreateCompatibleDC(&listDc)) {
        return;
    }
    CBitmapHandle bitmap(::CreateCompatibleBitmap(listDc.m_hDC, kThumbWidth, kThumbHeight));
    if (!bitmap) {
        return;
    }
    {
        CSelectObject select(memory.m_hDC, bitmap.Get());
        memory.SetStretchBltMode(COLORONCOLOR);
        memory.StretchDIBits(0, 0, kThumbWidth, kThumbHeight, 0, 0, width, height, pixels, &info,
                             DIB_RGB_COLORS, SRCCOPY);
    }
    m_thumbnails.Replace(index, bitmap.Get());
}

bool CPresetPanel::readPreset(int index, bool apply) {
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    if (!m_store.IsValidIndex(index) || !app.params) {
        return false;
    }
    PresetValues values{};
    m_store.readPreset(index, ValuesOf(*app.params), values);
    m_host.SetPresetRows(values);
    if (apply) {
        m_host.procForProxy();
        m_host.displayProxy(false);
    }
    WriteTrace("PX Dlg readPreset", m_store.GetFilePath(index));
    return true;
}

void CPresetPanel::OnItemChanged(const NMLISTVIEW& change) {
    // Only an item that becomes selected; a selected item gaining the focus stays as it is.
    if (!(change.uChanged & LVIF_STATE) || !(change.uNewState & LVIS_SELECTED) ||
        (change.uOldState & LVIS_SELECTED)) {
        return;
    }
    const int k = change.iItem;
    if (m_store.IsValidIndex(m_selectedPreset)) {
        m_list.SetItemText(m_selectedPreset, 0, m_store.GetDisplayName(m_selectedPreset).c_str());
    }
    if (m_store.IsValidIndex(k)) {
        const std::string marked = kMark + m_store.GetDisplayName(k) + kMark;
        m_list.SetItemText(k, 0, marked.c_str());
    }
    readPreset(k, true);
    m_selectedPreset = k;
}
