// The markup drawn with GDI: fonts, text, rules, borders, backgrounds and images.
#include "PPHtmlDrawerWin.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "WinApp.h"

namespace {

// A module named by the markup, loaded for its resources only while an image or a string is
// taken from it.
CModuleHandle LoadResourceModule(const std::string& name) {
    if (name.empty()) {
        return CModuleHandle();
    }
    return CModuleHandle(::LoadLibraryExA(
        name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

// One image of the markup, loaded for one use. Handles given by the markup are borrowed;
// everything loaded here is released with the object.
class CMarkupImage {
public:
    explicit CMarkupImage(const html::ImageRef& ref) : m_ref(ref) {
        m_module = LoadResourceModule(ref.module);
        if (!ref.module.empty() && !m_module) {
            return;
        }
        HINSTANCE source = m_module ? m_module.Get() : AfxGetResourceHandle();
        const LPCSTR id = MAKEINTRESOURCEA(static_cast<WORD>(ref.id));
        switch (ref.kind) {
            case html::ImageRef::Kind::Bitmap:
                if (ref.handle) {
                    m_bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(ref.handle));
                } else if (!ref.file.empty()) {
                    m_owned.Reset(::LoadImageA(nullptr, ref.file.c_str(), IMAGE_BITMAP, 0, 0,
                                               LR_LOADFROMFILE | LR_CREATEDIBSECTION));
                    m_bitmap = static_cast<HBITMAP>(m_owned.Get());
                } else if (ref.id > 0) {
                    m_owned.Reset(
                        ::LoadImageA(source, id, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
                    m_bitmap = static_cast<HBITMAP>(m_owned.Get());
                }
                break;
            case html::ImageRef::Kind::Icon:
                if (ref.handle) {
                    m_icon = reinterpret_cast<HICON>(static_cast<uintptr_t>(ref.handle));
                } else if (!ref.file.empty()) {
                    m_ownedIcon.Reset(
                        static_cast<HICON>(::LoadImageA(nullptr, ref.file.c_str(), IMAGE_ICON,
                                                        ref.width, ref.height, LR_LOADFROMFILE)));
                    m_icon = m_ownedIcon.Get();
                } else if (ref.id > 0) {
                    m_ownedIcon.Reset(static_cast<HICON>(::LoadImageA(
                        source, id, IMAGE_ICON, ref.width, ref.height, LR_DEFAULTCOLOR)));
                    m_icon = m_ownedIcon.Get();
                }
                break;
            case html::ImageRef::Kind::ImageList:
                if (ref.handle) {
                    m_list = reinterpret_cast<HIMAGELIST>(static_cast<uintptr_t>(ref.handle));
                } else if (ref.id > 0) {
                    const COLORREF mask = ref.mask.value_or(CLR_NONE);
                    m_ownedList.Reset(ImageList_LoadImageA(source, id, std::max(ref.width, 1), 1,
                                                           mask, IMAGE_BITMAP,
                                                           LR_CREATEDIBSECTION));
                    m_list = m_ownedList.Get();
                }
                break;
        }
    }

    // The image's own size, or the size the markup asks for.
    SIZE Size() const {
        SIZE own = {0, 0};
        if (m_bitmap) {
            BITMAP bm = {};
            if (::GetObjectA(m_bitmap, sizeof(bm), &bm)) {
                own = {bm.bmWidth, std::abs(bm.bmHeight)};
            }
        } else if (m_icon) {
            ICONINFO info = {};
            if (::GetIconInfo(m_icon, &info)) {
                BITMAP bm = {};
                HBITMAP shape = info.hbmColor ? info.hbmColor : info.hbmMask;
                if (::GetObjectA(shape, sizeof(bm), &bm)) {
                    own = {bm.bmWidth, info.hbmColor ? bm.bmHeight : bm.bmHeight / 2};
                }
                if (info.hbmColor) {
                    ::DeleteObject(info.hbmColor);
                }
                if (info.hbmMask) {
                    ::DeleteObject(info.hbmMask);
                }
            }
        } else if (m_list) {
            int cx = 0;
            int cy = 0;
            ImageList_GetIconSize(m_list, &cx, &cy);
            own = {cx, cy};
        }
        if (own.cx <= 0 || own.cy <= 0) {
            return {0, 0};
        }
        return {m_ref.width ? m_ref.width : own.cx, m_ref.height ? m_ref.height : own.cy};
    }

    void Draw(HDC dc, const RECT& box) const {
        const int w = box.right - box.left;
        const int h = box.bottom - box.top;
        const bool disabled = m_ref.style == "disabled" || m_ref.style == "grayed";
        if (m_bitmap) {
            BITMAP bm = {};
            ::GetObjectA(m_bitmap, sizeof(bm), &bm);
            HDC memory = ::CreateCompatibleDC(dc);
            HGDIOBJ old = ::SelectObject(memory, m_bitmap);
            if (m_ref.mask) {
                ::TransparentBlt(dc, box.left, box.top, w, h, memory, 0, 0, bm.bmWidth,
                                 std::abs(bm.bmHeight), *m_ref.mask);
            } else {
                const int mode = ::SetStretchBltMode(dc, HALFTONE);
                ::StretchBlt(dc, box.left, box.top, w, h, memory, 0, 0, bm.bmWidth,
                             std::abs(bm.bmHeight), SRCCOPY);
                ::SetStretchBltMode(dc, mode);
            }
            ::SelectObject(memory, old);
            ::DeleteDC(memory);
        } else if (m_icon) {
            if (disabled) {
                ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(m_icon), 0, box.left,
                             box.top, w, h, DST_ICON | DSS_DISABLED);
            } else {
                ::DrawIconEx(dc, box.left, box.top, m_icon, w, h, 0, nullptr, DI_NORMAL);
            }
        } else if (m_list) {
            const int count = ImageList_GetImageCount(m_list);
            if (count <= 0) {
                return;
            }
            int index = m_ref.index;
            if (m_ref.speed > 0) {
                index += static_cast<int>(::GetTickCount() / static_cast<DWORD>(m_ref.speed));
            }
            ImageList_DrawEx(m_list, index % count, dc, box.left, box.top, w, h, CLR_NONE,
                             CLR_DEFAULT, ILD_TRANSPARENT | (disabled ? ILD_BLEND50 : 0));
        }
    }

private:
    const html::ImageRef& m_ref;
    CModuleHandle m_module;
    CGdiHandle m_owned;
    CIconHandle m_ownedIcon;
    CImageListHandle m_ownedList;
    HBITMAP m_bitmap = nullptr;
    HICON m_icon = nullptr;
    HIMAGELIST m_list = nullptr;
};

RECT Offset(const html::Box& box, POINT origin) {
    return RECT{box.left + origin.x, box.top + origin.y, box.right + origin.x,
                box.bottom + origin.y};
}

void FillRectColour(HDC dc, int l, int t, int r, int b, COLORREF colour) {
    const RECT rect = {l, t, r, b};
    const COLORREF old = ::SetBkColor(dc, colour);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

}  // namespace

CPPHtmlDrawer::CPPHtmlDrawer() : m_textColour(::GetSysColor(COLOR_INFOTEXT)) {
    m_sheet.Parse(html::StyleSheet::DefaultText());
    m_openLink = [](const std::string& href) {
        ::ShellExecuteA(nullptr, "open", href.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
}

CPPHtmlDrawer::~CPPHtmlDrawer() = default;

void CPPHtmlDrawer::SetStyleSheet(const std::string& rules) {
    m_sheet = html::StyleSheet();
    m_sheet.Parse(html::StyleSheet::DefaultText());
    m_sheet.Parse(rules);
}

void CPPHtmlDrawer::SetTextColour(COLORREF colour) {
    m_textColour = colour;
}

HFONT CPPHtmlDrawer::Font(HDC dc, const html::FontSpec& spec) {
    for (const auto& [known, font] : m_fonts) {
        if (known == spec) {
            return static_cast<HFONT>(font.Get());
        }
    }
    LOGFONTA lf = {};
    lf.lfHeight = -::MulDiv(spec.size, ::GetDeviceCaps(dc, LOGPIXELSY), 720);
    lf.lfWeight = spec.weight;
    lf.lfItalic = spec.italic;
    lf.lfUnderline = spec.underline;
    lf.lfStrikeOut = spec.strike;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    std::strncpy(lf.lfFaceName, spec.face.c_str(), LF_FACESIZE - 1);
    HFONT font = ::CreateFontIndirectA(&lf);
    if (!font) {
        return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    }
    m_fonts.emplace_back(spec, CGdiHandle(font));
    return font;
}

int32_t CPPHtmlDrawer::TextWidth(const html::FontSpec& font, std::string_view text) {
    HGDIOBJ old = ::SelectObject(m_measureDc, Font(m_measureDc, font));
    SIZE size = {0, 0};
    ::GetTextExtentPoint32A(m_measureDc, text.data(), static_cast<int>(text.size()), &size);
    ::SelectObject(m_measureDc, old);
    return size.cx;
}

std::pair<int32_t, int32_t> CPPHtmlDrawer::FontMetrics(const html::FontSpec& font) {
    HGDIOBJ old = ::SelectObject(m_measureDc, Font(m_measureDc, font));
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(m_measureDc, &tm);
    ::SelectObject(m_measureDc, old);
    return {tm.tmAscent, tm.tmDescent};
}

std::pair<int32_t, int32_t> CPPHtmlDrawer::ImageSize(const html::ImageRef& image) {
    const SIZE size = CMarkupImage(image).Size();
    return {size.cx, size.cy};
}

std::string CPPHtmlDrawer::ResourceString(int64_t id, const std::string& module) {
    if (id <= 0 || id > 0xFFFF) {
        return std::string();
    }
    if (module.empty()) {
        return AfxLoadString(static_cast<UINT>(id));
    }
    CModuleHandle loaded = LoadResourceModule(module);
    if (!loaded) {
        return std::string();
    }
    char text[4096];
    const int n = ::LoadStringA(loaded.Get(), static_cast<UINT>(id), text, sizeof(text));
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

void CPPHtmlDrawer::Layout(HDC dc) {
    m_fonts.clear();
    html::Style base;
    m_sheet.Apply("body", base, base,
                  [](int index) { return static_cast<html::Colour>(::GetSysColor(index)); });
    base.colour = m_textColour;
    html::LayoutOptions options;
    options.maxWidth = m_maxWidth;
    options.hoverLink = m_hover;
    m_measureDc = dc;
    m_doc = html::Layout(m_tokens, m_sheet, base, *this, options);
    m_measureDc = nullptr;
}

SIZE CPPHtmlDrawer::PrepareOutput(HDC dc, const std::string& markup, int maxWidth) {
    m_tokens = html::Tokenize(markup);
    m_maxWidth = std::max(maxWidth, 0);
    m_hover = -1;
    Layout(dc);
    return SIZE{m_doc.width, m_doc.height};
}

bool CPPHtmlDrawer::OnMouseMove(HDC dc, POINT point) {
    const int hover = m_doc.LinkAt(point.x, point.y);
    if (hover == m_hover) {
        return false;
    }
    m_hover = hover;
    Layout(dc);
    return true;
}

bool CPPHtmlDrawer::OnLButtonDown(POINT point) {
    const int link = m_doc.LinkAt(point.x, point.y);
    if (link < 0 || static_cast<size_t>(link) >= m_doc.links.size()) {
        return false;
    }
    if (m_openLink && !m_doc.links[static_cast<size_t>(link)].empty()) {
        m_openLink(m_doc.links[static_cast<size_t>(link)]);
    }
    return true;
}

void CPPHtmlDrawer::DrawTextItem(HDC dc, const html::DrawItem& item, POINT origin) {
    const RECT box = Offset(item.box, origin);
    HGDIOBJ old = ::SelectObject(dc, Font(dc, item.font));
    ::SetTextColor(dc, item.colour);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    ::TextOutA(dc, box.left, box.top, item.text.data(), static_cast<int>(item.text.size()));
    ::SelectObject(dc, old);
    if (item.overline) {
        FillRectColour(dc, box.left, box.top, box.right, box.top + 1, item.colour);
    }
}

void CPPHtmlDrawer::DrawBorderItem(HDC dc, const html::DrawItem& item, POINT origin) {
    RECT r = Offset(item.box, origin);
    const int width = std::min<int>(item.width, std::min(r.right - r.left, r.bottom - r.top) / 2);
    for (int i = 0; i < width; ++i, ::InflateRect(&r, -1, -1)) {
        // A double border keeps its outer and inner rings.
        if (item.borderStyle == html::BorderStyle::Double && width >= 3 && i > 0 && i < width - 1) {
            continue;
        }
        if (item.borderStyle == html::BorderStyle::Dashed ||
            item.borderStyle == html::BorderStyle::Dotted) {
            const int style = item.borderStyle == html::BorderStyle::Dashed ? PS_DASH : PS_DOT;
            const int oldMode = ::SetBkMode(dc, TRANSPARENT);
            for (int side = 0; side < 2; ++side) {
                HPEN pen = ::CreatePen(style, 1, side == 0 ? item.light : item.dark);
                HGDIOBJ oldPen = ::SelectObject(dc, pen);
                if (side == 0) {
                    const POINT pts[3] = {
                        {r.left, r.bottom - 1}, {r.left, r.top}, {r.right - 1, r.top}};
                    ::Polyline(dc, pts, 3);
                } else {
                    const POINT pts[3] = {
                        {r.right - 1, r.top}, {r.right - 1, r.bottom - 1}, {r.left, r.bottom - 1}};
                    ::Polyline(dc, pts, 3);
                }
                ::SelectObject(dc, oldPen);
                ::DeleteObject(pen);
            }
            ::SetBkMode(dc, oldMode);
            continue;
        }
        FillRectColour(dc, r.left, r.top, r.right, r.top + 1, item.light);
        FillRectColour(dc, r.left, r.top, r.left + 1, r.bottom, item.light);
        FillRectColour(dc, r.left, r.bottom - 1, r.right, r.bottom, item.dark);
        FillRectColour(dc, r.right - 1, r.top + 1, r.right, r.bottom, item.dark);
    }
}

void CPPHtmlDrawer::DrawImageItem(HDC dc, const html::DrawItem& item, POINT origin) {
    CMarkupImage(item.image).Draw(dc, Offset(item.box, origin));
}

void CPPHtmlDrawer::DrawPreparedOutput(HDC dc, POINT origin, CPPDrawManager& drawManager) {
    for (const html::DrawItem& item : m_doc.items) {
        switch (item.kind) {
            case html::DrawItem::Kind::Fill:
                drawManager.PaintBackgroundEffect(dc, item.effect, Offset(item.box, origin),
                                                  item.begin, item.middle, item.end,
                                                  static_cast<DWORD>(item.granularity), 0);
                break;
            case html::DrawItem::Kind::Border:
                DrawBorderItem(dc, item, origin);
                break;
            case html::DrawItem::Kind::Text:
                DrawTextItem(dc, item, origin);
                break;
            case html::DrawItem::Kind::Rule: {
                const RECT r = Offset(item.box, origin);
                FillRectColour(dc, r.left, r.top, r.right, r.bottom, item.light);
                break;
            }
            case html::DrawItem::Kind::Image:
                DrawImageItem(dc, item, origin);
                break;
        }
    }
}
