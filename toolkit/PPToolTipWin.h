// CPPToolTip: popup help in a balloon, with markup text, a textured background, a soft shadow
// and fading.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "DibSection.h"
#include "PPDrawManagerWin.h"
#include "PPHtmlDrawerWin.h"
#include "TipController.h"
#include "TipGeometry.h"
#include "Wnd.h"

// A top-most tool window owned by a dialog. The dialog hands it every message of its modal
// loop (RelayEvent); when the mouse rests on a registered control the tip of that control is
// laid out, drawn off screen over a copy of the screen behind it and shown without taking the
// focus. Timers 256 to 260 of the window drive showing, hiding and fading (TipController).
//
// Owns its window, the tools (control, text, optional rectangle), the renderer and the three
// pictures of the current tip: the screen behind, the tip over it, and the blend of the two
// that the window shows.
class CPPToolTip : public CWnd, private tooltip::TipHost {
public:
    CPPToolTip();
    ~CPPToolTip() override;

    // Creates the window owned by `parent`, as a balloon or a plain rectangle, and starts the
    // animation tick.
    BOOL Create(CWnd* parent, BOOL balloon = TRUE);

    // Adds a tool whose text is string `stringId` of the module's string table.
    void AddTool(CWnd* window, UINT stringId, const RECT* rect = nullptr);
    // Adds a tool with its text; `rect` (client coordinates of `window`) limits it to a part
    // of the window.
    void AddTool(HWND window, const std::string& text, const RECT* rect = nullptr);
    void RemoveAllTools();
    size_t GetToolCount() const { return m_tools.size(); }

    // Every message of the owner's modal loop: mouse moves find the tool under the cursor,
    // clicks, keys and the wheel hide the tip at once. A move to the same point does nothing,
    // and a move over the tool already known allocates nothing and lays nothing out.
    void RelayEvent(const MSG* msg);

    // Kinds 2 (show time), 3 (rest time), 4 (fade-in step), 5 (fade-out step), 6 (animation).
    void SetDelay(int kind, DWORD milliseconds);
    DWORD GetDelay(int kind) const { return m_controller.Delay(kind); }
    void SetColours(COLORREF begin, COLORREF middle, COLORREF end);
    void SetEffect(int effect, int granularity);
    void SetTextColour(COLORREF colour) { m_drawer.SetTextColour(colour); }
    void SetBorderColour(COLORREF colour) { m_borderColour = colour; }
    void SetFades(bool fadeIn, bool fadeOut) { m_controller.SetFades(fadeIn, fadeOut); }
    // Offset of the shadow, its darkness in percent (capped at 100), soft edge and blur box.
    void SetShadow(int offsetX, int offsetY, int darkness, bool soft, int blurX, int blurY);
    // Lines wrap beyond this width; 0 wraps only where the screen ends.
    void SetMaxTipWidth(int width) { m_maxWidth = width; }
    void SetLinkOpener(CPPHtmlDrawer::LinkOpener opener) {
        m_drawer.SetLinkOpener(std::move(opener));
    }

    // What is shown now, for tests and diagnostics.
    bool IsTipVisible() const { return m_controller.Visible(); }
    int GetShownTool() const { return m_controller.ShownTool(); }
    int GetTransparency() const { return m_controller.Transparency(); }
    // The balloon on the screen (the window is larger by the shadow offset).
    RECT GetTipRect() const;
    int GetDirection() const { return m_placement.direction; }
    const CDibSection& GetPicture() const { return m_picture; }

protected:
    // Copies the screen under `screenRect` into `target` at (0, 0), before the tip shows.
    virtual void CaptureBehind(HDC target, const RECT& screenRect);

    void OnTimer(UINT_PTR id);
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc) { return TRUE; }
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    LRESULT OnMouseActivate(WPARAM, LPARAM) { return MA_NOACTIVATE; }
    DECLARE_MESSAGE_MAP()

private:
    struct Tool {
        HWND window;
        std::string text;
        RECT rect;
        bool hasRect;
    };

    // tooltip::TipHost
    void StartTimer(unsigned id, uint32_t milliseconds) override;
    void StopTimer(unsigned id) override;
    tooltip::Point CursorPosition() override;
    bool PrepareTip(int tool) override;
    void ShowTip(int transparency) override;
    void SetTransparency(int transparency) override;
    void HideTip() override;
    bool Animated() override { return m_drawer.IsAnimated(); }
    void RedrawTip() override;

    int FindTool(POINT screen) const;
    // Draws the shadow, background, text and border over the saved screen.
    void ComposePicture();
    // Shows the picture blended with the screen behind at `transparency`.
    void Present(int transparency);
    POINT ContentOrigin() const;

    std::vector<Tool> m_tools;
    tooltip::TipController m_controller;
    CPPHtmlDrawer m_drawer;
    CPPDrawManager m_drawManager;

    tooltip::ShapeSizes m_shape = tooltip::kBalloonShape;
    COLORREF m_begin;
    COLORREF m_middle;
    COLORREF m_end;
    COLORREF m_borderColour;
    int m_effect = 0;
    int m_granularity = 0;
    int m_shadowX = 6;
    int m_shadowY = 6;
    int m_darkness = 50;
    bool m_softShadow = true;
    int m_blurX = 7;
    int m_blurY = 7;
    int m_maxWidth = 0;
    int32_t m_direction = tooltip::kTopLeft;

    bool m_hasRelayPoint = false;
    POINT m_relayPoint = {0, 0};

    tooltip::Placement m_placement;
    RECT m_windowRect = {0, 0, 0, 0};
    CRgnHandle m_balloon;  // in window coordinates
    CDibSection m_behind;
    CDibSection m_picture;
    CDibSection m_output;
};
