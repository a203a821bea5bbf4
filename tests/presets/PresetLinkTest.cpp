// What the dialog accepts from users before anything touches the preset folder: typed preset
// names, preset links and the file names links give; and where thumbnails come from.
#include <gtest/gtest.h>

#include <string>

#include "presets/PresetFolder.h"
#include "presets/PresetLink.h"
#include "presets/ThumbnailMath.h"

TEST(PresetName, TypedNamesKeepLettersDigitsUnderscoresAndDashes) {
    struct Case {
        const char* typed;
        const char* stored;
    };
    const Case cases[] = {
        {"my  preset!", "my__preset"},
        {"!!!", ""},
        {"", ""},
        {" ", "_"},
        {"Portrait-2_b", "Portrait-2_b"},
        {"a/b\\c:d*e?f\"g<h>i|j.k", "abcdefghijk"},
        {"caf\xE9 \xC3\xA9t\xE9", "caf_t"},  // Latin-1 and UTF-8 letters are dropped
        {"&#47;etc", "47etc"},
        {"tab\there\nnew", "tabherenew"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilterTypedPresetName(c.typed), c.stored) << c.typed;
    }
}

TEST(PresetLink, SchemeAndExtensionInAnyCaseAndSpacesAnywhere) {
    struct Case {
        const char* typed;
        bool accepted;
    };
    const Case cases[] = {
        {"http://example.com/p/Soft.vpp", true},
        {"  HTTP://EXAMPLE.COM/ P/SOFT .VPP  ", true},
        {"https://example.com/Soft.vpp", true},
        {"HTTPS://example.com/Soft.Vpp", true},
        {"ftp://example.com/Soft.vpp", false},
        {"file:///C:/Soft.vpp", false},
        {"httpx://example.com/Soft.vpp", false},
        {"http:/example.com/Soft.vpp", false},
        {"example.com/Soft.vpp", false},
        {"http://example.com/Soft.vpp.txt", false},
        {"http://example.com/Soft.vp", false},
        {"http://", false},
        {"http:/", false},
        {"", false},
        {".vpp", false},
    };
    for (const Case& c : cases) {
        const std::string link = RemoveSpaces(c.typed);
        EXPECT_EQ(link.find(' '), std::string::npos);
        EXPECT_EQ(IsAcceptedPresetLink(link), c.accepted) << c.typed;
    }
    EXPECT_EQ(RemoveSpaces("  HTTP://A.COM/ B .VPP "), "HTTP://A.COM/B.VPP");
}

TEST(PresetLink, FileNamesStayPlainNamesInThePresetFolder) {
    struct Case {
        const char* link;
        const char* name;  // empty: refused
    };
    const std::string long196(196, 'a');
    const std::string long197(197, 'a');
    const Case cases[] = {
        {"http://example.com/presets/Soft.vpp", "Soft.vpp"},
        {"https://example.com/Soft%20Look.VPP", "Soft Look.VPP"},
        {"http://example.com/a%2Db.vpp", "a-b.vpp"},
        {"http://example.com/100%25.vpp", "100%.vpp"},
        {"http://example.com/%zz.vpp", "%zz.vpp"},            // not an escape: kept as typed
        {"http://example.com/%252e%252e.vpp", "%2e%2e.vpp"},  // decoded once: a plain name
        {"http://example.com/..\\..\\x.vpp", ""},
        {"http://example.com/x\\y.vpp", ""},
        {"http://example.com/%2e%2e%5cx.vpp", ""},
        {"http://example.com/%2E%2E%2Fx.vpp", ""},
        {"http://example.com/%2fetc.vpp", ""},
        {"http://example.com/C:\\Windows\\x.vpp", ""},
        {"http://example.com/C:x.vpp", ""},
        {"http://example.com/x.vpp:stream.vpp", ""},
        {"http://example.com/x%3a.vpp", ""},
        {"http://example.com/CON.vpp", ""},
        {"http://example.com/nul.vpp", ""},
        {"http://example.com/Com1.vpp", ""},
        {"http://example.com/LPT9.vpp", ""},
        {"http://example.com/con.backup.vpp", ""},
        {"http://example.com/a%00b.vpp", ""},
        {"http://example.com/a%0Ab.vpp", ""},
        {"http://example.com/a%7Fb.vpp", ""},
        {"http://example.com/a*b.vpp", ""},
        {"http://example.com/a?b=c.vpp", ""},
        {"http://example.com/a%22b.vpp", ""},
        {"http://example.com/x..vpp", ""},
        {"http://example.com/.vpp", ""},
        {"http://example.com/", ""},
        {"http://example.com/x.vpp.txt", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PresetFileNameFromLink(c.link), c.name) << c.link;
    }
    // 200 characters with the extension is the longest name.
    EXPECT_EQ(PresetFileNameFromLink("http://e.com/" + long196 + ".vpp"), long196 + ".vpp");
    EXPECT_EQ(PresetFileNameFromLink("http://e.com/" + long197 + ".vpp"), "");
}

TEST(ThumbnailMath, CentreAndStepFollowThePreview) {
    struct Case {
        int previewW, previewH, inW, inH;
        double zoom;
        int32_t originX, originY;
        int inDec, maxDec;
        ThumbPoint centre;
        int step;
    };
    const Case cases[] = {
        // 100 %: the middle of the shown region, at full resolution.
        {590, 400, 591, 401, 1.0, 2705, 1800, 1, 13, {2705 + 295, 1800 + 200}, 1},
        // An image smaller than the preview: its own middle.
        {590, 400, 300, 200, 1.0, 0, 0, 1, 1, {150, 100}, 1},
        // 200 %: half as many image pixels in view.
        {590, 400, 296, 201, 2.0, 1000, 500, 1, 13, {1000 + 74, 500 + 50}, 1},
        // The fit zoom of a 24000 x 16000 image at step 40: the whole image.
        {600, 400, 600, 400, 0.025, 0, 0, 40, 53, {12000, 8000}, 53},
        // The same, a smaller largest step.
        {600, 400, 600, 400, 0.025, 0, 0, 40, 20, {12000, 8000}, 20},
        // 50 % at step 2: the input is 1180 x 800 sampled pixels, twice the window -> 5.
        {590, 400, 1180, 800, 0.5, 0, 0, 2, 53, {590, 400}, 5},
        // Degenerate inputs stay in range.
        {0, 0, 0, 0, 0.0, 0, 0, 0, 0, {0, 0}, 1},
        {590, 400, 590, 400, 1e-300, INT32_MAX, INT32_MAX, 64, 64, {INT32_MAX, INT32_MAX}, 64},
    };
    for (const Case& c : cases) {
        const ThumbPoint p =
            ThumbCentre(c.previewW, c.previewH, c.inW, c.inH, c.zoom, c.originX, c.originY);
        EXPECT_EQ(p.x, c.centre.x) << c.zoom;
        EXPECT_EQ(p.y, c.centre.y) << c.zoom;
        EXPECT_EQ(ThumbDecimation(c.inDec, c.inW, c.inH, c.maxDec), c.step) << c.zoom;
    }
    EXPECT_EQ(ThumbItemTop(0), 20);
    EXPECT_EQ(ThumbItemTop(15), 20 + 164 * 15);
}
