// The filter dialog's preview: the region request, zooming, the engine run, painting through
// the host, panning in the preview and the navigator, and settling after a resize.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "WaitCursor.h"
#include "dialog/MyMFCDialogWin.h"
#include "dialog/PreviewMath.h"
#include "plugin/FlagGuard.h"
#include "plugin/MFCPlugInApp.h"
#include "plugin/PixelRows.h"
#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

namespace {

constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleMs = 500;

bool IsPreviewMode(int mode) {
    return mode == ps::plugInModeBitmap || mode == ps::plugInModeRGBColor ||
           mode == ps::plugInModeRGB48;
}

// Bytes per sample of the host's image mode; raises the bad-mode code for others.
int SampleBytes(int mode) {
    switch (mode) {
        case ps::plugInModeBitmap:
        case ps::plugInModeGrayScale:
        case ps::plugInModeRGBColor:
            return 1;
        case ps::plugInModeGray16:
        case ps::plugInModeRGB48:
            return 2;
        default:
            FailCode(kFilterBadMode);
    }
}

Rect32 InRect(CMFCPlugInApp& app) {
    Rect32 r{};
    app.getInRect(r.top, r.bottom, r.left, r.right);
    return r;
}

Rect32 FilterRect(CMFCPlugInApp& app) {
    Rect32 r{};
    app.getFilterRect(r.top, r.bottom, r.left, r.right);
    return r;
}

int32_t Span(int32_t from, int32_t to) {
    const int64_t d = int64_t(to) - from;
    return d < 0 ? 0 : d > INT32_MAX ? INT32_MAX : int32_t(d);
}

// Paints an 8-bit interleaved pixel map at (column, row) of the DC, for hosts that offer no
// displayPixels. The buffer is ours: its red and blue are swapped in place for the bitmap.
void PaintPixelMapOurselves(HDC dc, uint8_t* pixels, int32_t rows, int32_t columns,
                            int32_t rowBytes, int32_t planes, int32_t dstRow, int32_t dstCol) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD palette[256];
    } info = {};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = columns;
    info.header.biHeight = -rows;  // top-down, as the pixel map
    info.header.biPlanes = 1;
    info.header.biCompression = BI_RGB;
    // A bitmap's rows are as long as its width needs (to 4 bytes), shorter than the map's:
    // the rows move up in place, first to last.
    const size_t length = planes >= 3 ? size_t(columns) * 3 : size_t(columns);
    const size_t stride = (length + 3) & ~size_t(3);
    for (int32_t y = 1; y < rows; ++y) {
        std::memmove(pixels + size_t(y) * stride, pixels + size_t(y) * rowBytes, length);
    }
    rowBytes = int32_t(stride);
    if (planes >= 3) {
        // A pixel map of 3 samples per pixel is a 24-bit bitmap once blue and red change
        // places (its row bytes are a multiple of 16). Extra planes are not shown.
        if (planes != 3) {
            return;
        }
        info.header.biBitCount = 24;
        for (int32_t y = 0; y < rows; ++y) {
            uint8_t* p = pixels + size_t(y) * rowBytes;
            for (int32_t x = 0; x < columns; ++x, p += 3) {
                std::swap(p[0], p[2]);
            }
        }
    } else if (planes == 1) {
        info.header.biBitCount = 8;
        for (int i = 0; i < 256; ++i) {
            info.palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        }
    } else {
        return;
    }
    ::StretchDIBits(dc, dstCol, dstRow, columns, rows, 0, 0, columns, rows, pixels,
                    reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace

bool MyMFCDialog::getProxyRect(RECT& rect) {
    if (!m_preview.m_hWnd) {
        WriteTrace("PX Dlg getProxyRect return", "error-cannot get proxyrect");
        return false;
    }
    m_preview.GetClientRect(&rect);
    if (!preview::UsableProxy(rect.right - rect.left, rect.bottom - rect.top)) {
        WriteTrace("PX Dlg getProxyRect return", "error-proxyrect is too small");
        return false;
    }
    return true;
}

double MyMFCDialog::getFitZoom() {
    WriteTrace("PX Dlg getFitZoom", "begin");
    RECT proxy;
    if (!getProxyRect(proxy)) {
        WriteTrace("PX Dlg getFitZoom", "return 1 since no proxy");
        return 1.0;
    }
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    const Rect32 filter = FilterRect(app);
    const double fit =
        preview::FitZoom(proxy.right, proxy.bottom, int64_t(filter.right) - filter.left,
                         int64_t(filter.bottom) - filter.top, app.hostSupportsSampling());
    char text[32];
    std::snprintf(text, sizeof text, "%f", fit);
    WriteTrace("PX Dlg getFitZoom", text);
    return fit;
}

void MyMFCDialog::setZoom(double zoom, bool centre) {
    char text[32];
    std::snprintf(text, sizeof text, "%f", zoom);
    WriteTrace("PX Dlg setZoom - begin", text);
    RECT proxy;
    if (!getProxyRect(proxy)) {
        WriteTrace("PX Dlg setZoom - return", "error get proxy");
        return;
    }
    const double z0 = m_zoom;
    const double z = preview::SnapZoom(zoom, zoom > 0.75 ? 0.0 : getFitZoom());
    const preview::Point origin =
        preview::ZoomOrigin(centre, z, z0, {m_originX, m_originY}, proxy.right, proxy.bottom,
                            FilterRect(CMFCPlugInApp::Get()));
    m_zoom = z;
    m_originX = origin.x;
    m_originY = origin.y;
    m_zoomPercent = preview::ZoomPercent(z);
    // The zoom does not change the pages: only the dialog's own controls are pushed.
    UpdateOwnData(FALSE);
    WriteTrace("PX Dlg setZoom - m_zoom", int32_t(m_zoomPercent));
}

void MyMFCDialog::ShowZoomed(bool erase) {
    SetupFilterRecordForProxy();
    procForProxy();
    displayProxy(erase);
}

void MyMFCDialog::OnZoomOut() {
    PullAll();
    const double fit = getFitZoom();
    if (fit >= m_zoom) {
        m_zoom = fit;
        return;
    }
    const double z = m_zoom;
    if (z >= 2) {
        setZoom(z - 1, false);
    } else {
        setZoom(z / 1.5, false);
        if (std::fabs(m_zoom - z) < 0.001) {
            setZoom(z * 0.5, false);
        }
    }
    ShowZoomed(true);
}

void MyMFCDialog::OnZoomIn() {
    if (m_zoom >= 3.99) {
        return;
    }
    PullAll();
    const double z = m_zoom;
    if (z >= 0.99999) {
        setZoom(z + 1, false);
    } else {
        setZoom(z * 1.5, false);
        if (std::fabs(m_zoom - z) < 0.001) {
            setZoom(z * 2, false);
        }
    }
    ShowZoomed(false);
}

void MyMFCDialog::OnZoom100() {
    if (std::fabs(m_zoom - 1) < 0.001) {
        return;
    }
    PullAll();
    setZoom(1, false);
    ShowZoomed(true);
}

void MyMFCDialog::OnZoomFit() {
    PullAll();
    setZoom(getFitZoom(), false);
    ShowZoomed(true);
}

void MyMFCDialog::SetupFilterRecordForProxy() {
    if (!m_ready) {
        return;
    }
    if (m_setupLock) {
        WriteTrace("PX Dlg SetupFilterRecordForProxy", "return due to locked!");
        return;
    }
    if (!m_pFilterRecord || !IsPreviewMode(m_pFilterRecord->imageMode)) {
        FailCode(kFilterBadMode);
    }
    WriteTrace("PX Dlg SetupFilterRecordForProxy", "begin");
    RECT proxy;
    if (!getProxyRect(proxy)) {
        WriteTrace("PX Dlg SetupFilterRecordForProxy", "return - cannot get proxy");
        return;
    }
    CFlagGuard lock(m_setupLock);
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    // Every edge goes to the host as a 32-bit value: the host-access layer uses the big
    // document's rectangles where the host offers them, so regions beyond 32767 pixels can be
    // shown at 100 % and more.
    const preview::Request request = preview::SetupRequest(
        m_zoom, {m_originX, m_originY}, proxy.right, proxy.bottom, FilterRect(app));
    m_originX = request.origin.x;
    m_originY = request.origin.y;
    app.setAllRect(request.rect.top, request.rect.bottom, request.rect.left, request.rect.right,
                   request.step);
}

int MyMFCDialog::procForProxy() {
    if (!m_ready || m_procBusy) {
        return 1;
    }
    CFlagGuard busy(m_procBusy);
    CWaitCursor wait;
    WriteTrace("PX Dlg procForProxy", "begin");
    return CMFCPlugInApp::Get().procInRect(false);
}

void MyMFCDialog::displayProxy(bool erase) {
    if (!m_preview.m_hWnd) {
        FailMessage("No pWnd in MyMFCDialog::displayProxy()");
    }
    m_preview.Invalidate(erase);
    m_preview.UpdateWindow();
}

void MyMFCDialog::PaintPreview(CPaintDC& paint) {
    CRect client;
    m_preview.GetClientRect(&client);
    // The picture and the area round it are drawn off screen and shown at once; the host's
    // displayPixels draws into the DC it is given.
    CMemDC dc(paint, client);
    dc.FillSolidRect(client, ::GetSysColor(COLOR_BTNSHADOW));
    if (!m_ready) {
        return;
    }
    m_nav.Invalidate(FALSE);
    UpdateButtons();
    WriteTrace("PX Dlg OnPaint", "begin");
    m_previewModeText = m_zoom < 0.99 ? "Approx." : "Normal";
    UpdateOwnData(FALSE);
    RECT proxy;
    if (!getProxyRect(proxy)) {
        return;
    }
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    const Rect32 in = InRect(app);
    const int32_t sw = Span(in.left, in.right);
    const int32_t sh = Span(in.top, in.bottom);
    const preview::PaintSize size =
        preview::PaintSizeFor(m_zoom, sw, sh, proxy.right, proxy.bottom);

    const ps::FilterRecord& record = *m_pFilterRecord;
    const int bytes = SampleBytes(record.imageMode);
    const int32_t planes = record.inHiPlane - record.inLoPlane + 1;
    if (planes < 1 || planes > 4 || size.rows < 1 || size.columns < 1) {
        return;  // nothing to show yet
    }
    if (size.k == 0) {
        char text[64];
        std::snprintf(text, sizeof text, "PX:OnPoint() - bad m_zoomF: %f", m_zoom);
        FailMessage(text);
    }
    const int64_t rowBytes = preview::PixelMapRowBytes(planes, size.columns);
    std::unique_ptr<uint8_t[]> pixels;
    if (rowBytes > 0) {
        pixels.reset(new (std::nothrow) uint8_t[size_t(size.rows + 1) * size_t(rowBytes)]());
    }
    if (!pixels) {
        FailMessage("OnPaint()-pixels.baseAddr malloc failed");
    }
    WriteTrace("PX Dlg OnPaint", "copy -start");
    // While dragging or showing the original the unfiltered input is shown.
    const bool original = m_lastPoint.x >= 0 || m_showOriginal.m_showOriginal;
    const void* source = original ? record.inData : record.outData;
    const int32_t stride = original ? record.inRowBytes : record.outRowBytes;
    // The host's buffer must hold every sample read: k = 1 reads `columns` pixels per row.
    const int32_t readPixels = (size.columns + size.k - 1) / size.k;
    size_t readBytes = 0;
    const int32_t sourceRows = std::min(sh, preview::SourceRow(size.rows - 1, m_zoom) + 1);
    if (!RowLength(int64_t(readPixels) * planes, bytes, readBytes) ||
        !BufferHoldsRows(source, sourceRows, stride, readBytes)) {
        FailMessage("OnPaint() - the host's image buffer does not hold the rectangle");
    }
    for (int32_t i = 0; i < size.rows; ++i) {
        const int32_t m = preview::SourceRow(i, m_zoom);
        if (m >= sh) {
            break;
        }
        preview::ConvertRow(static_cast<const uint8_t*>(source) + ptrdiff_t(m) * stride, bytes == 2,
                            planes, size.columns, size.k,
                            pixels.get() + size_t(i) * size_t(rowBytes));
    }
    WriteTrace("PX Dlg OnPaint", "copy -done");
    WriteTrace("PX Dlg OnPaint", "start painting");

    const int32_t dstRow = preview::CentreOffset(proxy.bottom, size.rows);
    const int32_t dstCol = preview::CentreOffset(proxy.right, size.columns);
    if (record.displayPixels) {
        ps::PSPixelMap map = {};
        map.version = 1;
        map.bounds = ps::VRect{0, 0, size.rows, size.columns};
        const int mode = record.imageMode;
        map.imageMode = (mode == ps::plugInModeBitmap || mode == ps::plugInModeRGBColor ||
                         mode == ps::plugInModeRGB48)
                            ? ps::plugInModeRGBColor
                            : ps::plugInModeGrayScale;
        map.rowBytes = int32_t(rowBytes);
        map.colBytes = planes;
        map.planeBytes = 1;
        map.baseAddr = pixels.get();
        const ps::VRect area{0, 0, size.rows, size.columns};
        if (record.displayPixels(&map, &area, dstRow, dstCol, dc.m_hDC) != 0) {
            FailMessage("DisplayPixels no go");
        }
    } else {
        // A host without displayPixels: the same picture, painted by us.
        PaintPixelMapOurselves(dc.m_hDC, pixels.get(), size.rows, size.columns, int32_t(rowBytes),
                               planes, dstRow, dstCol);
    }
    WriteTrace("PX Dlg OnPaint", "end");
}

bool MyMFCDialog::InPreview(CPoint dialogPoint, CPoint& local) {
    local = dialogPoint;
    ::MapWindowPoints(m_hWnd, m_preview.m_hWnd, &local, 1);
    RECT r;
    m_preview.GetClientRect(&r);
    return local.x >= 0 && local.x < r.right && local.y >= 0 && local.y < r.bottom;
}

bool MyMFCDialog::InNavigator(CPoint dialogPoint, CPoint& local) {
    local = dialogPoint;
    ::MapWindowPoints(m_hWnd, m_nav.m_hWnd, &local, 1);
    RECT r;
    m_nav.GetClientRect(&r);
    return local.x >= 0 && local.x < r.right && local.y >= 0 && local.y < r.bottom;
}

void MyMFCDialog::OnLButtonDown(UINT flags, CPoint point) {
    if (!m_preview.m_hWnd || !m_nav.m_hWnd) {
        FailMessage("No pWnd in MyMFCDialog::OnLButtonDown()");
    }
    CPoint local;
    if (InPreview(point, local)) {
        m_dragMode = 1;
    } else if (InNavigator(point, local)) {
        m_dragMode = 2;
    } else {
        m_dragMode = 0;
    }
    if (m_dragMode != 0) {
        m_lastPoint = local;
        // The release is seen even outside the window, so the engine always runs at the end.
        SetCapture();
        displayProxy(false);
    } else {
        m_lastPoint = CPoint(-1, -1);
    }
    CResizableDialog::OnLButtonDown(flags, point);
}

void MyMFCDialog::OnMouseMove(UINT flags, CPoint point) {
    if (!m_ready) {
        return;
    }
    if (m_moveLock) {
        WriteTrace("PX OnMouseMove", "locked");
        return;
    }
    CFlagGuard lock(m_moveLock);
    CMFCPlugInApp& app = CMFCPlugInApp::Get();
    CPoint local;
    if (m_dragMode == 1 && InPreview(point, local)) {
        int32_t dx = m_lastPoint.x - local.x;
        int32_t dy = m_lastPoint.y - local.y;
        if (m_panFaster) {
            dx *= 4;
            dy *= 4;
        }
        if (m_lastPoint.x >= 0 && m_lastPoint.y >= 0 && (dx != 0 || dy != 0)) {
            m_lastPoint = local;
            const preview::Point origin = preview::PanPreview(m_zoom, InRect(app), dx, dy);
            m_originX = origin.x;
            m_originY = origin.y;
            SetupFilterRecordForProxy();
            displayProxy(false);  // the unfiltered pixels: no engine run during a drag
        }
    } else if (m_dragMode == 2 && InNavigator(point, local)) {
        const int32_t dx = m_lastPoint.x - local.x;
        const int32_t dy = m_lastPoint.y - local.y;
        if (m_lastPoint.x >= 0 && m_lastPoint.y >= 0 && local != m_lastPoint) {
            m_lastPoint = local;
            const preview::Point origin =
                preview::PanNavigator(m_zoom, InRect(app), dx, dy, m_nav.m_navScale);
            m_originX = origin.x;
            m_originY = origin.y;
            SetupFilterRecordForProxy();
            displayProxy(false);
        }
    } else {
        // Leaving the area of the drag stops it until the button is pressed again.
        m_lastPoint = CPoint(-1, -1);
    }
    CResizableDialog::OnMouseMove(flags, point);
}

void MyMFCDialog::OnLButtonUp(UINT flags, CPoint point) {
    m_lastPoint = CPoint(-1, -1);
    if (!m_preview.m_hWnd) {
        FailMessage("No pWnd in MyMFCDialog::OnLButtonUp()");
    }
    m_preview.SetFocus();
    EndDrag();
    CResizableDialog::OnLButtonUp(flags, point);
}

void MyMFCDialog::EndDrag() {
    const int32_t mode = m_dragMode;
    m_dragMode = 0;
    if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
    }
    if (mode == 1 || mode == 2) {
        procForProxy();
        displayProxy(false);
    }
}

void MyMFCDialog::OnCaptureChanged(CWnd* newCapture) {
    // Capture taken away in the middle of a drag (another window, a key): the drag ends here.
    if (m_dragMode != 0 && (!newCapture || newCapture->m_hWnd != m_hWnd)) {
        m_lastPoint = CPoint(-1, -1);
        EndDrag();
    }
    CResizableDialog::OnCaptureChanged(newCapture);
}

void MyMFCDialog::OnSize(UINT type, int cx, int cy) {
    CResizableDialog::OnSize(type, cx, cy);
    if (m_ready) {
        WriteTrace("PX Dlg OnSize - begine", "");
        m_settleTimer = SetTimer(kSettleTimer, kSettleMs);
        WriteTrace("PX Dlg OnSize - end", "");
    }
}

void MyMFCDialog::OnTimer(UINT_PTR id) {
    if (id == kSettleTimer && id == m_settleTimer) {
        KillTimer(id);
        m_settleTimer = 0;
        if (m_ready) {
            WriteTrace("PX Dlg OnTimer", "begin");
            const double fit = getFitZoom();
            if (fit > m_zoom) {
                m_zoom = fit;
            }
            m_zoomPercent = preview::SettledZoomPercent(m_zoom);
            UpdateOwnData(FALSE);
            SetupFilterRecordForProxy();
            procForProxy();
            Invalidate(FALSE);
            displayProxy(true);
        }
    }
    CResizableDialog::OnTimer(id);
    WriteTrace("PX Dlg OnTimer", "return");
}
