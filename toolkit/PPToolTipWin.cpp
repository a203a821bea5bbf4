// The tooltip window: tools, relaying, placement, the composed picture and its timers.
#include "PPToolTipWin.h"

#include <algorithm>
#include <cstring>

#include "TipPicture.h"
#include "WinApp.h"

namespace {

constexpr char kClassName[] = "CPPToolTip";
// The pointer tip sits this far below the cursor's hot spot, clear of the arrow.
constexpr int kCursorGap = 20;
// The background's tint towards its first colour, in percent.
constexpr DWORD kBackgroundTint = 5;

// The screen of all monitors.
tooltip::Rect VirtualScreen() {
    const int x = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
            y + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// The balloon's outline as a region: the rounded body joined with the pointer.
CRgnHandle MakeRegion(const tooltip::Outline& o, const tooltip::ShapeSizes& shape) {
    CRgnHandle body(shape.cornerWidth > 0 || shape.cornerHeight > 0
                        ? ::CreateRoundRectRgn(o.body.left, o.body.top, o.body.right + 1,
                                               o.body.bottom + 1, shape.cornerWidth,
                                               shape.cornerHeight)
                        : ::CreateRectRgn(o.body.left, o.body.top, o.body.right, o.body.bottom));
    if (body && shape.pointerHeight > 0 && shape.pointerWidth > 0) {
        POINT points[3];
        for (int i = 0; i < 3; ++i) {
            points[i] = {o.pointer[i].x, o.pointer[i].y};
        }
        CRgnHandle pointer(::CreatePolygonRgn(points, 3, WINDING));
        if (pointer) {
            ::CombineRgn(body.Get(), body.Get(), pointer.Get(), RGN_OR);
        }
    }
    return body;
}

bool IsDropDownComboEdit(HWND window) {
    char name[16] = {};
    if (!::GetClassNameA(window, name, sizeof(name)) || lstrcmpiA(name, "Edit") != 0) {
        return false;
    }
    HWND parent = ::GetParent(window);
    if (!parent || !::GetClassNameA(parent, name, sizeof(name)) ||
        lstrcmpiA(name, "ComboBox") != 0) {
        return false;
    }
    return (::GetWindowLongPtrA(parent, GWL_STYLE) & 3) == CBS_DROPDOWN;
}

// Selects a section into a memory DC for the lifetime of the object.
class CSectionDC {
public:
    explicit CSectionDC(const CDibSection& section) : m_dc(::CreateCompatibleDC(nullptr)) {
        if (m_dc) {
            m_old = ::SelectObject(m_dc, section.GetHandle());
        }
    }
    ~CSectionDC() {
        if (m_dc) {
            ::SelectObject(m_dc, m_old);
            ::DeleteDC(m_dc);
        }
    }
    CSectionDC(const CSectionDC&) = delete;
    CSectionDC& operator=(const CSectionDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

uint32_t* Pixels(const CDibSection& section) {
    return reinterpret_cast<uint32_t*>(section.Bits());
}

}  // namespace

BEGIN_MESSAGE_MAP(CPPToolTip, CWnd)
ON_WM_TIMER()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_SETCURSOR()
ON_MESSAGE(WM_MOUSEACTIVATE, &CPPToolTip::OnMouseActivate)
END_MESSAGE_MAP()

CPPToolTip::CPPToolTip()
    : m_controller(*this),
      m_begin(::GetSysColor(COLOR_INFOBK)),
      m_middle(m_begin),
      m_end(m_begin),
      m_borderColour(RGB(66, 92, 140)) {}

CPPToolTip::~CPPToolTip() {
    if (m_hWnd) {
        for (unsigned id = tooltip::kShowTimer; id <= tooltip::kAnimationTimer; ++id) {
            ::KillTimer(m_hWnd, id);
        }
    }
}

BOOL CPPToolTip::Create(CWnd* parent, BOOL balloon) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!AfxRegisterClass(wc)) {
        return FALSE;
    }
    m_shape = balloon ? tooltip::kBalloonShape : tooltip::kRectangleShape;
    if (!CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0,
                  parent ? parent->m_hWnd : nullptr, nullptr)) {
        return FALSE;
    }
    m_controller.Start();
    return TRUE;
}

void CPPToolTip::AddTool(CWnd* window, UINT stringId, const RECT* rect) {
    if (window) {
        AddTool(window->m_hWnd, AfxLoadString(stringId), rect);
    }
}

void CPPToolTip::AddTool(HWND window, const std::string& text, const RECT* rect) {
    if (!window) {
        return;
    }
    m_tools.push_back({window, text, rect ? *rect : RECT{0, 0, 0, 0}, rect != nullptr});
}

void CPPToolTip::RemoveAllTools() {
    m_tools.clear();
    m_controller.Reset();
    m_hasRelayPoint = false;
}

void CPPToolTip::SetDelay(int kind, DWORD milliseconds) {
    m_controller.SetDelay(kind, milliseconds);
    if (kind == tooltip::kAnimationStep && m_hWnd) {
        m_controller.Start();
    }
}

void CPPToolTip::SetColours(COLORREF begin, COLORREF middle, COLORREF end) {
    m_begin = begin;
    m_middle = middle;
    m_end = end;
}

void CPPToolTip::SetEffect(int effect, int granularity) {
    m_effect = effect;
    m_granularity = granularity;
}

void CPPToolTip::SetShadow(int offsetX, int offsetY, int darkness, bool soft, int blurX,
                           int blurY) {
    m_shadowX = std::clamp(offsetX, 0, 64);
    m_shadowY = std::clamp(offsetY, 0, 64);
    m_darkness = std::clamp(darkness, 0, 100);
    m_softShadow = soft;
    m_blurX = std::clamp(blurX, 0, 64);
    m_blurY = std::clamp(blurY, 0, 64);
}

RECT CPPToolTip::GetTipRect() const {
    const tooltip::Rect& w = m_placement.window;
    return RECT{w.left, w.top, w.right, w.bottom};
}

int CPPToolTip::FindTool(POINT screen) const {
    for (size_t i = 0; i < m_tools.size(); ++i) {
        const Tool& tool = m_tools[i];
        if (!tool.hasRect || !::IsWindowVisible(tool.window)) {
            continue;
        }
        POINT p = screen;
        ::ScreenToClient(tool.window, &p);
        if (::PtInRect(&tool.rect, p)) {
            return static_cast<int>(i);
        }
    }
    HWND window = ::WindowFromPoint(screen);
    if (window && !IsDropDownComboEdit(window)) {
        POINT p = screen;
        ::ScreenToClient(window, &p);
        HWND child = ::ChildWindowFromPointEx(
            window, p, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
        if (child) {
            window = child;
        }
    }
    if (!window) {
        return -1;
    }
    for (size_t i = 0; i < m_tools.size(); ++i) {
        if (!m_tools[i].hasRect && m_tools[i].window == window) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CPPToolTip::RelayEvent(const MSG* msg) {
    if (!msg || !m_hWnd) {
        return;
    }
    switch (msg->message) {
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE: {
            const POINT pt = msg->pt;
            if (m_hasRelayPoint && pt.x == m_relayPoint.x && pt.y == m_relayPoint.y) {
                return;
            }
            m_hasRelayPoint = true;
            m_relayPoint = pt;
            // Over the tip itself: keep it, and follow its links.
            if (m_controller.Visible() && ::WindowFromPoint(pt) == m_hWnd) {
                POINT content = pt;
                ::ScreenToClient(m_hWnd, &content);
                const POINT origin = ContentOrigin();
                content.x -= origin.x;
                content.y -= origin.y;
                HDC screen = ::GetDC(nullptr);
                const bool changed = m_drawer.OnMouseMove(screen, content);
                ::ReleaseDC(nullptr, screen);
                if (changed) {
                    ComposePicture();
                    Present(m_controller.Transparency());
                }
                return;
            }
            m_controller.OnMouseMove({pt.x, pt.y}, FindTool(pt));
            return;
        }
        case WM_LBUTTONDOWN:
            if (m_controller.Visible() && ::WindowFromPoint(msg->pt) == m_hWnd) {
                POINT content = msg->pt;
                ::ScreenToClient(m_hWnd, &content);
                const POINT origin = ContentOrigin();
                m_drawer.OnLButtonDown({content.x - origin.x, content.y - origin.y});
            }
            m_controller.HideNow();
            return;
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK:
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONDBLCLK:
        case WM_NCMBUTTONDOWN:
        case WM_NCMBUTTONDBLCLK:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_MOUSEWHEEL:
            m_controller.HideNow();
            return;
        default:
            return;
    }
}

void CPPToolTip::StartTimer(unsigned id, uint32_t milliseconds) {
    ::SetTimer(m_hWnd, id, std::max<uint32_t>(milliseconds, USER_TIMER_MINIMUM), nullptr);
}

void CPPToolTip::StopTimer(unsigned id) {
    ::KillTimer(m_hWnd, id);
}

tooltip::Point CPPToolTip::CursorPosition() {
    POINT p = {0, 0};
    ::GetCursorPos(&p);
    return {p.x, p.y};
}

POINT CPPToolTip::ContentOrigin() const {
    const tooltip::Rect& body = m_placement.outline.body;
    return POINT{body.left + m_shape.marginX, body.top + m_shape.marginY};
}

bool CPPToolTip::PrepareTip(int index) {
    if (index < 0 || static_cast<size_t>(index) >= m_tools.size() ||
        m_tools[static_cast<size_t>(index)].text.empty()) {
        return false;
    }
    const std::string& text = m_tools[static_cast<size_t>(index)].text;
    POINT cursor = {0, 0};
    ::GetCursorPos(&cursor);
    const tooltip::Rect screen = VirtualScreen();
    // Wider than the screen allows, the text wraps.
    const int room = screen.Width() - 2 * m_shape.marginX - m_shape.pointerHeight - m_shadowX;
    const int limit = m_maxWidth > 0 ? std::min(m_maxWidth, room) : room;

    HDC screenDc = ::GetDC(nullptr);
    SIZE content = m_drawer.PrepareOutput(screenDc, text, 0);
    if (content.cx > limit) {
        content = m_drawer.PrepareOutput(screenDc, text, std::max(limit, 1));
    }
    if (content.cx <= 0 || content.cy <= 0) {
        ::ReleaseDC(nullptr, screenDc);
        return false;
    }
    m_placement = tooltip::PlaceTip(content.cx, content.cy, m_shape, {cursor.x, cursor.y},
                                    kCursorGap, m_direction, screen);
    const tooltip::Rect& tip = m_placement.window;
    m_windowRect = RECT{tip.left, tip.top, tip.right + m_shadowX, tip.bottom + m_shadowY};
    const int w = m_windowRect.right - m_windowRect.left;
    const int h = m_windowRect.bottom - m_windowRect.top;

    m_balloon = MakeRegion(m_placement.outline, m_shape);
    if (!m_balloon || !m_behind.Create(w, h, 32, true) || !m_picture.Create(w, h, 32, true) ||
        !m_output.Create(w, h, 32, true)) {
        ::ReleaseDC(nullptr, screenDc);
        return false;
    }
    // The window is the balloon and its shadow; everything else stays the screen's.
    CRgnHandle window(::CreateRectRgn(0, 0, 0, 0));
    CRgnHandle shadow(::CreateRectRgn(0, 0, 0, 0));
    ::CombineRgn(shadow.Get(), m_balloon.Get(), nullptr, RGN_COPY);
    ::OffsetRgn(shadow.Get(), m_shadowX, m_shadowY);
    ::CombineRgn(window.Get(), m_balloon.Get(), shadow.Get(), RGN_OR);
    if (::SetWindowRgn(m_hWnd, window.Get(), FALSE)) {
        window.Release();  // the system owns it now
    }
    ::ReleaseDC(nullptr, screenDc);
    {
        CSectionDC behind(m_behind);
        CaptureBehind(behind.Get(), m_windowRect);
    }
    ComposePicture();
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, m_windowRect.left, m_windowRect.top, w, h, SWP_NOACTIVATE);
    return true;
}

void CPPToolTip::CaptureBehind(HDC target, const RECT& screenRect) {
    HDC screen = ::GetDC(nullptr);
    ::BitBlt(target, 0, 0, screenRect.right - screenRect.left, screenRect.bottom - screenRect.top,
             screen, screenRect.left, screenRect.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
}

void CPPToolTip::ComposePicture() {
    if (m_picture.IsEmpty() || m_behind.IsEmpty()) {
        return;
    }
    const int w = m_picture.Width();
    const int h = m_picture.Height();
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    ::GdiFlush();
    std::memcpy(m_picture.Bits(), m_behind.Bits(), count * 4);

    CSectionDC dc(m_picture);
    if (m_shadowX > 0 || m_shadowY > 0) {
        // The shadow's coverage: the balloon moved by the offset, softened at its edge.
        CDibSection maskSection;
        if (maskSection.Create(w, h, 32, true)) {
            {
                CSectionDC maskDc(maskSection);
                CRgnHandle moved(::CreateRectRgn(0, 0, 0, 0));
                ::CombineRgn(moved.Get(), m_balloon.Get(), nullptr, RGN_COPY);
                ::OffsetRgn(moved.Get(), m_shadowX, m_shadowY);
                ::FillRgn(maskDc.Get(), moved.Get(),
                          static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
            }
            ::GdiFlush();
            std::vector<uint8_t> mask(count);
            const uint32_t* maskPixels = Pixels(maskSection);
            for (size_t i = 0; i < count; ++i) {
                mask[i] = static_cast<uint8_t>(maskPixels[i] & 0xFF);
            }
            if (m_softShadow) {
                tooltip::BlurMask(mask, w, h, m_blurX, m_blurY);
            }
            tooltip::ApplyShadow(Pixels(m_picture), mask, w, h,
                                 tooltip::ShadowGrey(static_cast<uint32_t>(m_darkness)));
        }
    }
    ::SelectClipRgn(dc.Get(), m_balloon.Get());
    const RECT all = {0, 0, m_placement.outline.width, m_placement.outline.height};
    m_drawManager.PaintBackgroundEffect(dc.Get(), m_effect, all, m_begin, m_middle, m_end,
                                        static_cast<DWORD>(m_granularity), kBackgroundTint);
    m_drawer.DrawPreparedOutput(dc.Get(), ContentOrigin(), m_drawManager);
    ::SelectClipRgn(dc.Get(), nullptr);
    HBRUSH border = ::CreateSolidBrush(m_borderColour);
    ::FrameRgn(dc.Get(), m_balloon.Get(), border, 1, 1);
    ::DeleteObject(border);
    ::GdiFlush();
}

void CPPToolTip::Present(int transparency) {
    if (m_output.IsEmpty()) {
        return;
    }
    const size_t count =
        static_cast<size_t>(m_output.Width()) * static_cast<size_t>(m_output.Height());
    ::GdiFlush();
    tooltip::Blend(Pixels(m_picture), Pixels(m_behind), Pixels(m_output), count, transparency);
    HDC window = ::GetDC(m_hWnd);
    {
        CSectionDC output(m_output);
        ::BitBlt(window, 0, 0, m_output.Width(), m_output.Height(), output.Get(), 0, 0, SRCCOPY);
    }
    ::ReleaseDC(m_hWnd, window);
}

void CPPToolTip::ShowTip(int transparency) {
    // Blended before it shows, so the first frame is already the right one.
    const size_t count =
        static_cast<size_t>(m_output.Width()) * static_cast<size_t>(m_output.Height());
    ::GdiFlush();
    tooltip::Blend(Pixels(m_picture), Pixels(m_behind), Pixels(m_output), count, transparency);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Present(transparency);
}

void CPPToolTip::SetTransparency(int transparency) {
    Present(transparency);
}

void CPPToolTip::HideTip() {
    ::ShowWindow(m_hWnd, SW_HIDE);
}

void CPPToolTip::RedrawTip() {
    ComposePicture();
    Present(m_controller.Transparency());
}

void CPPToolTip::OnTimer(UINT_PTR id) {
    m_controller.OnTimer(static_cast<unsigned>(id));
}

void CPPToolTip::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (!m_output.IsEmpty()) {
        CSectionDC output(m_output);
        ::BitBlt(dc, 0, 0, m_output.Width(), m_output.Height(), output.Get(), 0, 0, SRCCOPY);
    }
    ::EndPaint(m_hWnd, &ps);
}

BOOL CPPToolTip::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
    POINT p;
    ::GetCursorPos(&p);
    ::ScreenToClient(m_hWnd, &p);
    const POINT origin = ContentOrigin();
    const bool link = m_drawer.IsLinkAt({p.x - origin.x, p.y - origin.y});
    ::SetCursor(::LoadCursorA(nullptr, link ? IDC_HAND : IDC_ARROW));
    return TRUE;
}
