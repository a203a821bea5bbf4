// The in-process host driving the test plug-in: record layouts, requests, sampling, padding,
// big documents, cancel, error text, persistence, suites and displayPixels.
#include "TestFiles.h"

#include "host/FilterHost.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

namespace vg::host::test {
namespace {

using ps::FourCC;

CDescriptor Ints(std::initializer_list<std::pair<const char*, int32_t>> values) {
    CDescriptor d;
    for (const auto& [key, v] : values) {
        DescriptorItem it;
        ParseFourCC(key, &it.key);
        it.type = ps::typeInteger;
        it.integer = v;
        d.items.push_back(it);
    }
    return d;
}

RunOptions Replay(const CDescriptor& d) {
    RunOptions o;
    o.replay = true;
    o.replayDescriptor = d;
    return o;
}

struct Loaded {
    explicit Loaded(HostOptions options = {}) : host(options) {
        std::string error;
        ok = host.Load(Z(HOST_TEST_INVERT), &error);
        EXPECT_TRUE(ok) << error;
    }
    CFilterHost host;
    bool ok = false;
};

double Recorded(const RunResult& r, const char (&key)[5]) {
    const DescriptorItem* it = r.recorded.Find(FourCC(key));
    if (it == nullptr)
        return -1;
    return it->type == ps::typeFloat ? it->number : it->integer;
}

TEST(HostFilterHost, RunsWithEveryRecordSizeAndOffersBigDocumentsOnlyWhereTheyFit) {
    for (int32_t size : {552, 556, 576, 608}) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (big ? " bigdoc" : " no bigdoc"));
            HostOptions o;
            o.recordSize = size;
            o.bigDocument = big;
            Loaded l(o);
            ASSERT_TRUE(l.ok);
            CHostImage img = Pattern(11, 9, 3, 16, false), want = Inverted(img);
            bool sawBig = false;
            RunOptions run;
            run.afterSelector = [&](int16_t, ps::FilterRecord& rec, int16_t) {
                sawBig = rec.bigDocumentData != nullptr;
                EXPECT_EQ(rec.imageMode, ps::plugInModeRGB48);
                EXPECT_EQ(rec.depth, 16);
                EXPECT_EQ(rec.planes, 3);
                EXPECT_EQ(rec.filterRect.right, 11);
                EXPECT_EQ(rec.filterRect.bottom, 9);
            };
            RunResult r = l.host.Run(img, run);
            ASSERT_TRUE(r.ok()) << r.message;
            EXPECT_TRUE(img == want);
            EXPECT_EQ(sawBig, big && size >= 576);
            ASSERT_FALSE(r.requests.empty());
            EXPECT_EQ(r.requests[0].used32Bit, big && size >= 576);
            EXPECT_EQ(r.bufferSpace, 1000);
        }
    }
}

TEST(HostFilterHost, DeliversExactlyTheRequestedPiecesThroughContinueOrAdvanceState) {
    for (bool advance : {false, true}) {
        SCOPED_TRACE(advance ? "advanceState" : "continue");
        Loaded l;
        CHostImage img = Pattern(13, 25, 3, 8, false), want = Inverted(img);
        CDescriptor d = Ints({{"tile", 10}});
        DescriptorItem adv;
        adv.key = FourCC("adv ");
        adv.type = ps::typeBoolean;
        adv.integer = advance;
        d.items.push_back(adv);
        RunResult r = l.host.Run(img, Replay(d));
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_TRUE(img == want);
        ASSERT_EQ(r.requests.size(), 3u);
        const int32_t tops[] = {0, 10, 20}, bottoms[] = {10, 20, 25};
        for (size_t i = 0; i < 3; ++i) {
            const AdvanceRequest& q = r.requests[i];
            EXPECT_EQ(q.selector, advance ? ps::filterSelectorStart : ps::filterSelectorContinue);
            EXPECT_EQ(q.inRect.top, tops[i]);
            EXPECT_EQ(q.inRect.bottom, bottoms[i]);
            EXPECT_EQ(q.inRect.left, 0);
            EXPECT_EQ(q.inRect.right, 13);
            EXPECT_EQ(q.outRect.bottom, bottoms[i]);
            EXPECT_EQ(q.inHiPlane, 2);
        }
        std::vector<int16_t> want5 =
            advance ? std::vector<int16_t>{2, 3, 5} : std::vector<int16_t>{2, 3, 4, 4, 4, 5};
        EXPECT_EQ(r.selectors, want5);
        EXPECT_EQ(r.lastProgressDone, 25);
        EXPECT_EQ(r.lastProgressTotal, 25);
    }
}

TEST(HostFilterHost, SamplingDeliversEveryNthPixel) {
    for (int32_t n : {1, 2, 3}) {
        SCOPED_TRACE(n);
        Loaded l;
        CHostImage img = Pattern(17, 10, 3, 8, false);
        double sum = 0;
        for (int32_t y = 0; y < 10 / n; ++y)
            for (int32_t x = 0; x < 17 / n; ++x)
                for (int32_t c = 0; c < 3; ++c) sum += img.Sample(x * n, y * n, c);
        RunResult r = l.host.Run(img, Replay(Ints({{"smpl", n}})));
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(Recorded(r, "swid"), 17 / n);
        EXPECT_EQ(Recorded(r, "shgt"), 10 / n);
        EXPECT_EQ(Recorded(r, "ssum"), sum);
        EXPECT_EQ(r.requests[0].inputRate, n << 16);
    }
}

TEST(HostFilterHost, PaddingFillsOrReplicatesOrRefusesOutsideTheImage) {
    CHostImage img = Pattern(6, 4, 1, 8, false);
    double inner = 0, edge = 0;
    for (int32_t y = -1; y <= 4; ++y)
        for (int32_t x = -1; x <= 6; ++x) {
            int32_t cy = std::clamp(y, 0, 3), cx = std::clamp(x, 0, 5);
            edge += img.Sample(cx, cy, 0);
            if (cy == y && cx == x)
                inner += img.Sample(x, y, 0);
        }
    const double border = 8 * 6 - 6 * 4;
    struct Case {
        int32_t padding;
        double sum;
    } cases[] = {{7, inner + 7 * border}, {0, inner}, {ps::plugInWantsEdgeReplication, edge}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.padding);
        Loaded l;
        CHostImage copy = img;
        RunResult r = l.host.Run(copy, Replay(Ints({{"smpl", 1}, {"padv", c.padding}})));
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(Recorded(r, "ssum"), c.sum);
    }
    Loaded l;
    CHostImage copy = img;
    RunResult r = l.host.Run(
        copy, Replay(Ints({{"smpl", 1}, {"padv", ps::plugInWantsErrorOnBoundsException}})));
    EXPECT_EQ(r.result, ps::paramErr);
    EXPECT_TRUE(copy == img);
}

TEST(HostFilterHost, BigDocumentRectanglesReachBeyond32767) {
    Loaded l;
    CHostImage img = Pattern(40000, 2, 3, 8, false), want = Inverted(img);
    RunResult r = l.host.Run(img, Replay(Ints({{"tile", 1}})));
    ASSERT_TRUE(r.ok()) << r.message;
    ASSERT_EQ(r.requests.size(), 2u);
    EXPECT_TRUE(r.requests[1].used32Bit);
    EXPECT_EQ(r.requests[1].inRect.right, 40000);
    EXPECT_TRUE(img == want);

    HostOptions small;
    small.bigDocument = false;
    Loaded without(small);
    CHostImage img2 = Pattern(40000, 2, 3, 8, false);
    RunResult r2 = without.host.Run(img2);
    EXPECT_NE(r2.result, 0);
    EXPECT_NE(r2.message.find("32767"), std::string::npos) << r2.message;
}

TEST(HostFilterHost, CancelAfterNAbortCallsStopsTheRunAndKeepsTheImage) {
    HostOptions o;
    o.cancelAfterAbortCalls = 2;
    Loaded l(o);
    CHostImage img = Pattern(5, 20, 3, 8, false), before = img;
    RunResult r = l.host.Run(img, Replay(Ints({{"tile", 5}})));
    EXPECT_EQ(r.result, ps::userCanceledErr);
    EXPECT_EQ(r.failedSelector, ps::filterSelectorContinue);
    EXPECT_EQ(r.abortCalls, 2);
    EXPECT_EQ(r.selectors.back(), ps::filterSelectorFinish);  // Finish follows a good Start
    EXPECT_TRUE(img == before);
    EXPECT_NE(DescribeResult(r).find("cancelled"), std::string::npos);
}

TEST(HostFilterHost, ErrorStringIsShownOnReportString) {
    Loaded l;
    CHostImage img = Pattern(4, 4, 3, 8, false), before = img;
    CDescriptor d;
    DescriptorItem it;
    it.key = FourCC("fail");
    it.type = ps::typeChar;
    it.text = "the disk is on fire";
    d.items.push_back(it);
    RunResult r = l.host.Run(img, Replay(d));
    EXPECT_EQ(r.result, ps::errReportString);
    EXPECT_EQ(r.errorText, "the disk is on fire");
    EXPECT_EQ(DescribeResult(r), "Could not complete the filter because the disk is on fire.");
    EXPECT_EQ(r.selectors.back(), ps::filterSelectorStart);  // no Finish after a failed Start
    EXPECT_TRUE(img == before);
}

TEST(HostFilterHost, DataWordAndRecordedDescriptorPersistAcrossRuns) {
    Loaded l;
    CHostImage img = Pattern(6, 6, 3, 8, false);
    RunResult first = l.host.Run(img, Replay(Ints({{"tile", 2}})));
    ASSERT_TRUE(first.ok()) << first.message;
    intptr_t word = l.host.DataWord();
    EXPECT_NE(word, 0);
    EXPECT_EQ(Recorded(first, "runs"), 1);
    EXPECT_TRUE(first.descriptorReturned);
    RunResult second = l.host.Run(img);  // repeats with what the first run recorded
    ASSERT_TRUE(second.ok()) << second.message;
    EXPECT_EQ(l.host.DataWord(), word);
    EXPECT_EQ(Recorded(second, "runs"), 2);
    EXPECT_EQ(Recorded(second, "tile"), 2);
    EXPECT_EQ(second.requests.size(), 3u);
    EXPECT_EQ(l.host.LiveHandles(), 1);  // only the plug-in's globals remain
    EXPECT_EQ(first.leakedBuffers + second.leakedBuffers, 0);
}

// Some hosts stop calling Continue only when the right edge of every 16-bit rectangle is 0;
// a plug-in that ends with another empty rectangle would be called forever there.
TEST(HostFilterHost, EndingWithAnEmptyRectangleWhoseRightEdgeIsNotZeroIsAFault) {
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "bigdoc" : "no bigdoc");
        HostOptions o;
        o.bigDocument = big;
        Loaded l(o);
        CHostImage img = Pattern(8, 6, 3, 8, false), before = img;
        RunOptions run = Replay(Ints({{"tile", 3}}));
        run.afterSelector = [&](int16_t selector, ps::FilterRecord& rec, int16_t) {
            if (selector == ps::filterSelectorContinue && rec.outRect.bottom == 0)
                rec.outRect = ps::Rect{6, 0, 6, 8};  // zero height, right edge 8
        };
        RunResult r = l.host.Run(img, run);
        if (big) {  // the plug-in said it uses the 32-bit rectangles, which are empty
            EXPECT_TRUE(r.ok()) << r.message;
            continue;
        }
        EXPECT_EQ(r.result, ps::paramErr);
        EXPECT_NE(r.message.find("right edge"), std::string::npos) << r.message;
        EXPECT_EQ(r.selectors.back(), ps::filterSelectorFinish);
        EXPECT_TRUE(img == before);
    }
}

// The less complete hosts users have: no persistence of the data word, descriptor parameters
// without procs, handle procs that neither size nor free.
TEST(HostFilterHost, BehavesLikeLessCompleteHostsOnRequest) {
    {
        HostOptions o;
        o.persistData = false;
        Loaded l(o);
        CHostImage img = Pattern(4, 4, 3, 8, false);
        for (int run = 0; run < 2; ++run) {
            RunResult r = l.host.Run(img, Replay(Ints({{"tile", 2}})));
            ASSERT_TRUE(r.ok()) << r.message;
            EXPECT_EQ(Recorded(r, "runs"), 1);  // fresh globals every time
        }
    }
    {
        HostOptions o;
        o.descriptorProcs = false;
        Loaded l(o);
        CHostImage img = Pattern(4, 4, 3, 8, false), want = Inverted(img);
        bool sawParams = false, sawProcs = true;
        RunOptions run = Replay(Ints({{"tile", 2}}));
        run.afterSelector = [&](int16_t, ps::FilterRecord& rec, int16_t) {
            sawParams = rec.descriptorParameters != nullptr;
            sawProcs = sawParams && (rec.descriptorParameters->readDescriptorProcs != nullptr ||
                                     rec.descriptorParameters->writeDescriptorProcs != nullptr);
        };
        RunResult r = l.host.Run(img, run);
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_TRUE(sawParams);
        EXPECT_FALSE(sawProcs);
        EXPECT_FALSE(r.descriptorReturned);
        EXPECT_EQ(r.requests.size(), 1u);  // the replayed 'tile' never reached the plug-in
        EXPECT_TRUE(img == want);
    }
    for (bool reliable : {true, false}) {
        HostOptions o;
        o.reliableHandleProcs = reliable;
        Loaded l(o);
        CHostImage img = Pattern(4, 4, 3, 8, false);
        RunResult r = l.host.Run(img, Replay(Ints({{"hgrw", 64}})));
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(Recorded(r, "hsiz"), reliable ? 64 : 0);
        // The globals; with stub procs also the replayed descriptor and the grown handle, which
        // the plug-in disposed but the host never freed.
        EXPECT_EQ(l.host.LiveHandles(), reliable ? 1 : 3);
    }
}

TEST(HostFilterHost, BufferSuiteIsOfferedOnlyWithPica) {
    for (bool pica : {true, false}) {
        SCOPED_TRACE(pica);
        HostOptions o;
        o.pica = pica;
        Loaded l(o);
        CHostImage img = Pattern(4, 4, 3, 8, false);
        RunResult r = l.host.Run(img, Replay(Ints({{"bufs", 4096}})));
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(Recorded(r, "bufk"), pica ? 1 : 0);
        EXPECT_EQ(r.peakBufferBytes >= 4096, pica);
        EXPECT_EQ(r.leakedBuffers, 0);
        EXPECT_EQ(r.suitesNotReleased, 0);
    }
    HostOptions o;
    o.descriptors = false;
    Loaded l(o);
    CHostImage img = Pattern(4, 4, 3, 8, false);
    RunResult r = l.host.Run(img);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_FALSE(r.descriptorReturned);
}

TEST(HostFilterHost, DisplayPixelsPaintsAPixelMapIntoAnHdc) {
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = -4;  // top-down, so row 0 is the top
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    std::memset(bits, 0, 64);

    // 2x2 RGB48 pixels, version 3 with depth 16: 32768 shows as 255, 128 as 1.
    uint16_t px[2][2][3] = {{{32768, 0, 128}, {0, 32768, 0}},
                            {{0, 0, 32768}, {16384, 16384, 16384}}};
    ps::PSPixelMap map{};
    map.version = 3;
    map.bounds = ps::VRect{10, 20, 12, 22};
    map.imageMode = ps::plugInModeRGB48;
    map.rowBytes = 12;
    map.colBytes = 6;
    map.planeBytes = 2;
    map.baseAddr = px;
    map.depth = 16;
    ps::VRect src = map.bounds;
    EXPECT_EQ(PaintPixelMap(&map, &src, 1, 1, dc), ps::noErr);
    GdiFlush();
    auto at = [&](int x, int y) { return static_cast<uint32_t*>(bits)[y * 4 + x] & 0xFFFFFF; };
    EXPECT_EQ(at(1, 1), 0xFF0001u);  // 0xRRGGBB
    EXPECT_EQ(at(2, 1), 0x00FF00u);
    EXPECT_EQ(at(1, 2), 0x0000FFu);
    EXPECT_EQ(at(2, 2), 0x808080u);
    EXPECT_EQ(at(0, 0), 0u);
    EXPECT_EQ(at(3, 3), 0u);
    EXPECT_EQ(PaintPixelMap(&map, &src, 0, 0, nullptr), ps::paramErr);
    map.imageMode = ps::plugInModeCMYKColor;
    EXPECT_NE(PaintPixelMap(&map, &src, 0, 0, dc), ps::noErr);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

}  // namespace
}  // namespace vg::host::test
