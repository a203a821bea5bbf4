// CResizableLayout: keeps registered controls at fixed distances from anchor points.
#pragma once

#include <windows.h>

#include <vector>

#include "DC.h"
#include "LayoutMath.h"
#include "Wnd.h"

// One registered control, or a placement callback (null window) that fills it on demand.
struct LayoutInfo {
    HWND window = nullptr;
    UINT callbackId = 0;
    BOOL adjustsHScroll = FALSE;
    BOOL needsRepaint = FALSE;
    layout::Anchor anchorTopLeft = layout::kTopLeft;
    layout::Offset marginTopLeft = {0, 0};
    layout::Anchor anchorBottomRight = layout::kTopLeft;
    layout::Offset marginBottomRight = {0, 0};
};

// Owns the layout records: the anchored controls first (m_anchoredCount of them), callback
// records after them. Controls are borrowed; records are removed with RemoveAllAnchors.
class CResizableLayout {
public:
    virtual BOOL CanClip(HWND window);
    virtual BOOL NeedsRepaint(HWND window);
    virtual void ClientArea(RECT& area);
    // Fills a callback record (window, anchors, margins); FALSE skips it this time.
    virtual BOOL PlaceByCallback(LayoutInfo& info) { return FALSE; }
    virtual CWnd* HostWindow() = 0;
    virtual ~CResizableLayout();

    // Registers a control of the host at its current position. Call after the controls exist.
    void AnchorControl(HWND window, layout::Anchor topLeft,
                       layout::Anchor bottomRight = layout::kNoAnchor);
    void AnchorControl(UINT id, layout::Anchor topLeft,
                       layout::Anchor bottomRight = layout::kNoAnchor);
    void AddPlacementCallback(UINT callbackId);
    void ArrangeControls();
    // Takes the anchored controls out of (or, where they cannot be clipped, into) the clip
    // region of the DC that erases the host's background, so that nothing flickers.
    void ClipChildren(CDC* dc);
    void RemoveAllAnchors();

    size_t GetAnchorCount() const { return m_anchoredCount; }
    const LayoutInfo& GetLayoutInfo(size_t index) const { return m_layout[index]; }

protected:
    std::vector<LayoutInfo> m_layout;
    size_t m_anchoredCount = 0;
};
