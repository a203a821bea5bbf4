// Fuzz target for the tooltip markup: tokens, style sheet rules read from the same bytes, and
// the layout of the result (at a width and hovered link taken from the first two bytes),
// inserting the input into itself as a string resource. Checks that every item lies inside
// the document's limits and names an existing link.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "HtmlFakeEnvironment.h"
#include "HtmlLayout.h"
#include "HtmlMarkup.h"
#include "HtmlStyle.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int32_t width = data[0] < 16 ? 0 : data[0] * 2;
    const int hover = data[1] % 4 - 1;
    const std::string markup(reinterpret_cast<const char*>(data) + 2, size - 2);

    html::StyleSheet sheet;
    sheet.Parse(html::StyleSheet::DefaultText());
    sheet.Parse(markup);
    html::Style base;
    sheet.Apply("body", base, base, nullptr);

    CFakeHtmlEnvironment env;
    env.strings[1] = markup;
    const std::vector<html::Token> tokens = html::Tokenize(markup);
    for (const html::Token& t : tokens) {
        for (const html::Attribute& a : t.attributes) {
            html::ParseColour(a.value, nullptr);
            html::ParseFontSize(a.value, 100);
        }
    }
    html::LayoutOptions options;
    options.maxWidth = width;
    options.hoverLink = hover;
    const html::Document doc = html::Layout(tokens, sheet, base, env, options);
    constexpr int32_t kLimit = 1 << 26;
    if (doc.width < 0 || doc.height < 0 || doc.width > kLimit || doc.height > kLimit) {
        Fail("document size");
    }
    for (const html::DrawItem& item : doc.items) {
        if (item.box.left < -kLimit || item.box.right > kLimit || item.box.top < -kLimit ||
            item.box.bottom > kLimit || item.box.right < item.box.left ||
            item.box.bottom < item.box.top) {
            Fail("item box");
        }
        if (item.link >= static_cast<int>(doc.links.size())) {
            Fail("link index");
        }
        if (item.font.size < html::kMinFontSize || item.font.size > html::kMaxFontSize) {
            Fail("font size");
        }
    }
    return 0;
}
