// The anchoring, arranging and background clipping of a resizable window's controls.
#include "ResizableLayoutWin.h"

#include <string>

#include "Handle.h"

namespace {

std::string ClassOf(HWND window) {
    char name[261] = {};
    int n = ::GetClassNameA(window, name, 261);
    return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD StyleOf(HWND window) { return static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_STYLE)); }

// The control's rectangle in the host's client coordinates.
RECT ChildRect(HWND host, HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

layout::Box ToBox(const RECT& r) { return layout::Box{r.left, r.top, r.right, r.bottom}; }

}  // namespace

CResizableLayout::~CResizableLayout() = default;

BOOL CResizableLayout::CanClip(HWND window) {
    return layout::CanClipControl(ClassOf(window), StyleOf(window));
}

BOOL CResizableLayout::NeedsRepaint(HWND window) {
    return layout::ControlNeedsRepaint(ClassOf(window), StyleOf(window));
}

void CResizableLayout::ClientArea(RECT& area) {
    CWnd* host = HostWindow();
    ::GetClientRect(host->m_hWnd, &area);
}

void CResizableLayout::AnchorControl(HWND window, layout::Anchor topLeft,
                                     layout::Anchor bottomRight) {
    if (!window) {
        return;
    }
    std::string className = ClassOf(window);
    DWORD style = StyleOf(window);
    if (::lstrcmpiA(className.c_str(), "Button") == 0 && (style & 0xF) == BS_GROUPBOX) {
        // Controls inside a group box must not be painted over by it.
        ::SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>(style | WS_CLIPSIBLINGS));
    }
    LayoutInfo info;
    info.window = window;
    info.adjustsHScroll = ::lstrcmpiA(className.c_str(), "ListBox") == 0;
    info.needsRepaint = NeedsRepaint(window);
    if (bottomRight == layout::kNoAnchor) {
        bottomRight = topLeft;
    }
    info.anchorTopLeft = topLeft;
    info.anchorBottomRight = bottomRight;
    RECT client;
    ClientArea(client);
    layout::ComputeMargins(client.right - client.left, client.bottom - client.top,
                           ToBox(ChildRect(HostWindow()->m_hWnd, window)), topLeft, bottomRight,
                           info.marginTopLeft, info.marginBottomRight);
    m_layout.insert(m_layout.begin() + static_cast<std::ptrdiff_t>(m_anchoredCount), info);
    ++m_anchoredCount;
}

void CResizableLayout::AnchorControl(UINT id, layout::Anchor topLeft, layout::Anchor bottomRight) {
    AnchorControl(::GetDlgItem(HostWindow()->m_hWnd, static_cast<int>(id)), topLeft, bottomRight);
}

void CResizableLayout::AddPlacementCallback(UINT callbackId) {
    LayoutInfo info;
    info.callbackId = callbackId;
    m_layout.push_back(info);
}

void CResizableLayout::ArrangeControls() {
    CWnd* host = HostWindow();
    if (!host || !host->m_hWnd || m_layout.empty()) {
        return;
    }
    RECT client;
    ClientArea(client);
    int32_t width = client.right - client.left;
    int32_t height = client.bottom - client.top;

    HDWP batch = ::BeginDeferWindowPos(static_cast<int>(m_layout.size()));
    auto move = [&batch](HWND window, const RECT& r, UINT flags) {
        if (batch) {
            batch = ::DeferWindowPos(batch, window, nullptr, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top, flags);
        }
        if (!batch) {
            // A failed batch is gone: place the rest directly.
            ::SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           flags);
        }
    };
    for (size_t i = 0; i < m_layout.size(); ++i) {
        LayoutInfo info = m_layout[i];
        if (!info.window) {
            if (i == m_anchoredCount) {
                // Callbacks see the anchored controls already in place.
                if (batch) {
                    ::EndDeferWindowPos(batch);
                }
                batch = ::BeginDeferWindowPos(static_cast<int>(m_layout.size() - i));
            }
            if (!PlaceByCallback(info) || !info.window) {
                continue;
            }
        }
        if (!::IsWindow(info.window)) {
            continue;
        }
        layout::Box target = layout::ArrangeBox(width, height, info.anchorTopLeft,
                                                info.marginTopLeft, info.anchorBottomRight,
                                                info.marginBottomRight);
        RECT current = ChildRect(host->m_hWnd, info.window);
        if (layout::Box(ToBox(current)) == target) {
            continue;
        }
        bool repaint;
        if (info.adjustsHScroll) {
            SCROLLINFO si = {};
            si.cbSize = sizeof(si);
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            int32_t limit = 0;
            if (::GetScrollInfo(info.window, SB_HORZ, &si)) {
                int page = si.nPage > 0 ? static_cast<int>(si.nPage) - 1 : 0;
                limit = si.nMax - page;
            }
            repaint = layout::ListBoxNeedsRepaint(limit, si.nPos, current.right - current.left,
                                                  target.Width());
        } else {
            repaint = info.needsRepaint != FALSE;
        }
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
        if (current.left == target.left && current.top == target.top) {
            flags |= SWP_NOMOVE;
        }
        if (current.right - current.left == target.Width() &&
            current.bottom - current.top == target.Height()) {
            flags |= SWP_NOSIZE;
        }
        if (repaint) {
            flags |= SWP_NOCOPYBITS;
        }
        RECT r = {target.left, target.top, target.right, target.bottom};
        move(info.window, r, flags);
    }
    if (batch) {
        ::EndDeferWindowPos(batch);
    }
}

void CResizableLayout::ClipChildren(CDC* dc) {
    CWnd* host = HostWindow();
    if (!dc || !dc->m_hDC || !host) {
        return;
    }
    // Controls that draw their parent's background into their own DC (themed buttons,
    // DrawThemeParentBackground) send the erase with a DC of theirs: clipping the controls out
    // of it would leave them unpainted.
    if (::WindowFromDC(dc->m_hDC) != host->m_hWnd) {
        return;
    }
    for (size_t i = 0; i < m_anchoredCount; ++i) {
        HWND window = m_layout[i].window;
        if (!::IsWindow(window) || !::IsWindowVisible(window)) {
            continue;
        }
        RECT r = ChildRect(host->m_hWnd, window);
        CRgnHandle owner(::CreateRectRgn(0, 0, 0, 0));
        HRGN region = owner.Get();
        if (!region) {
            continue;
        }
        if (::GetWindowRgn(window, region) == COMPLEXREGION) {
            ::OffsetRgn(region, r.left, r.top);
        } else {
            ::SetRectRgn(region, r.left, r.top, r.right, r.bottom);
        }
        // Clip regions are given in device units: undo a moved viewport of the erase DC.
        POINT origin = {0, 0};
        ::GetViewportOrgEx(dc->m_hDC, &origin);
        ::OffsetRgn(region, origin.x, origin.y);
        ::ExtSelectClipRgn(dc->m_hDC, region, CanClip(window) ? RGN_DIFF : RGN_OR);
    }
}

void CResizableLayout::RemoveAllAnchors() {
    m_layout.clear();
    m_anchoredCount = 0;
}
