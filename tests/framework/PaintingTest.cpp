// Off-screen painting: the memory DC over a paint rectangle and the DIB section owner.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "DC.h"
#include "DibSection.h"

namespace {

// A 32-bit top-down section selected into a memory DC, as a drawing target tests can read.
struct Canvas {
    CDibSection dib;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
    Canvas(int w, int h) {
        EXPECT_TRUE(dib.Create(w, h, 32, true));
        dc = ::CreateCompatibleDC(nullptr);
        old = ::SelectObject(dc, dib.GetHandle());
        RECT all = {0, 0, w, h};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    ~Canvas() {
        ::SelectObject(dc, old);
        ::DeleteDC(dc);
    }
    COLORREF At(int x, int y) {
        ::GdiFlush();
        const uint8_t* p = dib.StoredRow(y) + x * 4;
        return RGB(p[2], p[1], p[0]);
    }
};

}  // namespace

TEST(FrameworkPainting, MemoryDcDrawsInTargetCoordinatesAndCopiesOnlyItsRectangle) {
    Canvas canvas(40, 30);
    CDC target(canvas.dc);
    {
        CMemDC memory(target, CRect(10, 5, 30, 25));
        ASSERT_TRUE(memory.IsOffScreen());
        // Nothing reaches the target before the memory DC goes.
        memory.FillSolidRect(CRect(0, 0, 40, 30), RGB(255, 0, 0));
        memory.FillSolidRect(CRect(12, 7, 14, 9), RGB(0, 0, 255));
        EXPECT_EQ(canvas.At(12, 7), RGB(255, 255, 255));
    }
    EXPECT_EQ(canvas.At(12, 7), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(10, 5), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(29, 24), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(9, 5), RGB(255, 255, 255));  // outside the rectangle
    EXPECT_EQ(canvas.At(30, 24), RGB(255, 255, 255));
    {
        CMemDC memory(target, CRect(0, 0, 40, 30));
        memory.FillSolidRect(CRect(0, 0, 40, 30), RGB(0, 255, 0));
        memory.Discard();
    }
    EXPECT_EQ(canvas.At(0, 0), RGB(255, 255, 255));
    // An empty rectangle draws straight into the target.
    CMemDC direct(target, CRect(5, 5, 5, 5));
    EXPECT_FALSE(direct.IsOffScreen());
    EXPECT_EQ(direct.m_hDC, canvas.dc);
}

TEST(FrameworkPainting, DibSectionRowsStretchAndOwnership) {
    struct Case {
        int width, height, bits, stride;
        bool ok;
    };
    const Case cases[] = {
        {5, 3, 24, 16, true},           {1, 1, 24, 4, true},  {7, 2, 32, 28, true},
        {0, 3, 24, 0, false},           {3, 0, 24, 0, false}, {3, 3, 8, 0, false},
        {INT_MAX / 2, 2, 24, 0, false},  // bytes beyond 31 bits
    };
    for (const Case& c : cases) {
        CDibSection dib;
        EXPECT_EQ(dib.Create(c.width, c.height, c.bits), c.ok) << c.width << "x" << c.height;
        EXPECT_EQ(dib.IsEmpty(), !c.ok);
        if (c.ok) {
            EXPECT_EQ(dib.Stride(), c.stride);
            EXPECT_FALSE(dib.IsTopDown());
        }
    }

    // A 2 x 2 bottom-up picture: stored row 0 is the bottom row on screen.
    CDibSection dib;
    ASSERT_TRUE(dib.Create(2, 2, 24));
    auto put = [&](int row, int x, COLORREF c) {
        uint8_t* p = dib.StoredRow(row) + x * 3;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
    };
    put(1, 0, RGB(255, 0, 0));  // top left
    put(1, 1, RGB(0, 255, 0));  // top right
    put(0, 0, RGB(0, 0, 255));  // bottom left
    put(0, 1, RGB(255, 255, 0));
    Canvas canvas(8, 8);
    ASSERT_TRUE(dib.Draw(canvas.dc, CRect(0, 0, 8, 8)));
    EXPECT_EQ(canvas.At(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(canvas.At(6, 1), RGB(0, 255, 0));
    EXPECT_EQ(canvas.At(1, 6), RGB(0, 0, 255));
    EXPECT_EQ(canvas.At(6, 6), RGB(255, 255, 0));
    // Part of the source, in top-down pixel coordinates: the bottom-right pixel.
    ASSERT_TRUE(dib.Draw(canvas.dc, CRect(0, 0, 2, 2), CRect(1, 1, 2, 2)));
    EXPECT_EQ(canvas.At(0, 0), RGB(255, 255, 0));

    // Moving hands the bitmap over; the moved-from owner is empty.
    HBITMAP handle = dib.GetHandle();
    CDibSection moved(std::move(dib));
    EXPECT_TRUE(dib.IsEmpty());
    EXPECT_EQ(moved.GetHandle(), handle);
    moved.Release();
    EXPECT_EQ(::GetObjectType(handle), 0u);  // deleted
}
