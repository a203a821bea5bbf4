// CPPHtmlDrawer: lays out and draws the tooltip markup with GDI.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Handle.h"
#include "HtmlLayout.h"
#include "PPDrawManagerWin.h"

// Keeps the style sheet, the last prepared markup and its layout, and the fonts of that layout
// (made on first use, freed with the next preparation). Images are loaded for each use and
// released after it.
class CPPHtmlDrawer : private html::Environment {
public:
    using LinkOpener = std::function<void(const std::string& href)>;

    CPPHtmlDrawer();
    ~CPPHtmlDrawer() override;
    CPPHtmlDrawer(const CPPHtmlDrawer&) = delete;
    CPPHtmlDrawer& operator=(const CPPHtmlDrawer&) = delete;

    // The default sheet followed by `rules`.
    void SetStyleSheet(const std::string& rules);
    // The colour of text without one of its own.
    void SetTextColour(COLORREF colour);
    // What a click on a link does; by default the shell opens it.
    void SetLinkOpener(LinkOpener opener) { m_openLink = std::move(opener); }

    // Lays out `markup` for the device of `dc`, wrapping lines beyond `maxWidth` pixels
    // (0: none); returns the size of the output.
    SIZE PrepareOutput(HDC dc, const std::string& markup, int maxWidth);
    // Draws the prepared output with its top-left corner at `origin`.
    void DrawPreparedOutput(HDC dc, POINT origin, CPPDrawManager& drawManager);
    // A click at `point` of the output opens the link there; true when there was one.
    bool OnLButtonDown(POINT point);
    // The pointer moved to `point` of the output; true when another link is now under it (the
    // output was laid out again with the hover style and must be redrawn).
    bool OnMouseMove(HDC dc, POINT point);
    bool IsLinkAt(POINT point) const { return m_doc.LinkAt(point.x, point.y) >= 0; }
    bool IsAnimated() const { return m_doc.animated; }
    const html::Document& Output() const { return m_doc; }

private:
    // html::Environment, answered for the DC being laid out.
    int32_t TextWidth(const html::FontSpec& font, std::string_view text) override;
    std::pair<int32_t, int32_t> FontMetrics(const html::FontSpec& font) override;
    std::pair<int32_t, int32_t> ImageSize(const html::ImageRef& image) override;
    std::string ResourceString(int64_t id, const std::string& module) override;
    html::Colour SystemColour(int index) override { return ::GetSysColor(index); }

    void Layout(HDC dc);
    HFONT Font(HDC dc, const html::FontSpec& spec);
    void DrawTextItem(HDC dc, const html::DrawItem& item, POINT origin);
    void DrawBorderItem(HDC dc, const html::DrawItem& item, POINT origin);
    void DrawImageItem(HDC dc, const html::DrawItem& item, POINT origin);

    html::StyleSheet m_sheet;
    COLORREF m_textColour;
    LinkOpener m_openLink;
    std::vector<html::Token> m_tokens;
    int m_maxWidth = 0;
    int m_hover = -1;
    html::Document m_doc;
    HDC m_measureDc = nullptr;  // only while laying out
    std::vector<std::pair<html::FontSpec, CGdiHandle>> m_fonts;
};
