// The application object's host operations on a filter record the test owns: requests,
// guards, the display copy, the engine callbacks and the engine call's rectangle.
#include "plugin/MFCPlugInApp.h"
#include "PluginTestPaths.h"
#include "TestEngine.h"
#include "plugin/PluginFailure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

int g_advanceCalls = 0;
ps::OSErr g_advanceResult = 0;

ps::OSErr CountingAdvance() {
    ++g_advanceCalls;
    return g_advanceResult;
}

class PluginHostAccess : public ::testing::Test {
protected:
    void SetUp() override {
        g_advanceCalls = 0;
        g_advanceResult = 0;
        std::memset(&m_record, 0, sizeof m_record);
        m_record.planes = 3;
        m_record.imageMode = ps::plugInModeRGBColor;
        m_record.filterRect = {10, 20, 410, 620};  // top, left, bottom, right
        m_record.samplingSupport = ps::hostSupportsIntegralSampling;
        m_record.supportsPadding = 1;
        m_record.inputRate = ps::kFixedOne;
        m_record.advanceState = CountingAdvance;
        m_app.filterRecord = &m_record;
    }

    Rect32 In() const {
        return {m_record.inRect.top, m_record.inRect.bottom, m_record.inRect.left,
                m_record.inRect.right};
    }

    CMFCPlugInApp m_app;
    ps::FilterRecord m_record;
};

TEST_F(PluginHostAccess, StepZeroEmptiesTheRectanglesAndFetchesNothing) {
    m_record.inputRate = 7 << 16;
    m_app.setAllRect(10, 400, 20, 600, 0);
    EXPECT_EQ(In(), (Rect32{0, 0, 0, 0}));
    EXPECT_EQ(m_record.outRect.right, 0);
    EXPECT_EQ(g_advanceCalls, 0);
    EXPECT_EQ(m_record.inputRate, ps::kFixedOne);
}

TEST_F(PluginHostAccess, RequestsAreScaledPlanedPaddedAndFetched) {
    m_app.setAllRect(0, 1000, 0, 1000, 4);
    EXPECT_EQ(In(), (Rect32{2, 102, 5, 155}));
    EXPECT_EQ(m_record.inputRate, 4 << 16);
    EXPECT_EQ(m_record.inLoPlane, 0);
    EXPECT_EQ(m_record.inHiPlane, 2);
    EXPECT_EQ(m_record.outHiPlane, 2);
    EXPECT_EQ(m_record.inputPadding, -3);
    EXPECT_EQ(m_record.outputPadding, -3);
    EXPECT_EQ(g_advanceCalls, 1);
    EXPECT_EQ(m_app.getInDec(), 4);
}

TEST_F(PluginHostAccess, TransparencyPlaneIsNotRequested) {
    // A layer with transparency has four planes; the engine and the display copy read
    // three interleaved samples per pixel, so only the colour planes are asked for.
    m_record.planes = 4;
    m_app.setAllRect(0, 100, 0, 100, 1);
    EXPECT_EQ(m_record.inLoPlane, 0);
    EXPECT_EQ(m_record.inHiPlane, 2);
    EXPECT_EQ(m_record.outHiPlane, 2);
}

TEST_F(PluginHostAccess, RequestOutsideTheFilterRectangleIsEmptyAndNotFetched) {
    m_app.setAllRect(500, 600, 700, 800, 1);
    EXPECT_EQ(In(), (Rect32{410, 410, 620, 620}));
    EXPECT_EQ(g_advanceCalls, 0);
}

TEST_F(PluginHostAccess, HostWithoutSamplingKeepsItsRateAndStepOne) {
    m_record.samplingSupport = 0;
    m_record.inputRate = 3 << 16;
    m_app.setAllRect(0, 1000, 0, 1000, 4);
    EXPECT_EQ(m_record.inputRate, 3 << 16);
    EXPECT_EQ(m_app.getInDec(), 1);
    EXPECT_EQ(m_app.getThumbMaxDec(10, 10, 1), 1);
}

TEST_F(PluginHostAccess, GuardsAreReleasedWhenTheFetchFails) {
    g_advanceResult = -108;
    EXPECT_THROW(m_app.setAllRect(10, 400, 20, 600, 1), CMessageFailure);
    EXPECT_FALSE(m_app.rectLock);
    EXPECT_FALSE(m_app.fetchLock);
    // A held guard makes the request a no-op.
    g_advanceResult = 0;
    m_app.rectLock = true;
    m_app.setAllRect(10, 20, 30, 40, 1);
    EXPECT_EQ(g_advanceCalls, 1);
    m_app.rectLock = false;
    m_app.fetchLock = true;
    m_app.setAllRect(10, 20, 30, 40, 1);
    EXPECT_EQ(g_advanceCalls, 1);
    EXPECT_EQ(In(), (Rect32{10, 20, 30, 40}));
    m_app.rectLock = true;
    EXPECT_EQ(m_app.procInRect(true), 1) << "a locked request processes nothing";
}

TEST_F(PluginHostAccess, BigDocumentRectanglesAreUsedWhole) {
    ps::BigDocumentStruct big{};
    big.filterRect32 = {0, 0, 70000, 90000};
    m_record.bigDocumentData = &big;
    m_record.inRect = {1, 2, 3, 4};
    m_app.setAllRect(40000, 65000, 33000, 80000, 1);
    EXPECT_EQ(big.PluginUsing32BitCoordinates, 1);
    EXPECT_EQ(big.inRect32.top, 40000);
    EXPECT_EQ(big.inRect32.right, 80000);
    EXPECT_EQ(big.outRect32.bottom, 65000);
    EXPECT_EQ(m_app.getInWidth(), 47000);
    EXPECT_EQ(m_record.inRect.right, 4) << "16-bit fields never get truncated values";
    int t, b, l, r;
    m_app.getFilterRect(t, b, l, r);
    EXPECT_EQ(b, 70000);
    EXPECT_EQ(r, 90000);
}

TEST_F(PluginHostAccess, ThumbnailWindowLargerThanTheImageRequestsAllOfIt) {
    const int step = m_app.getInRectForThumb(1000, 1000, 2, 2, 300, 200);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(In(), (Rect32{5, 205, 10, 310}));
    EXPECT_EQ(m_app.getThumbMaxDec(60, 40, 1), 10);
}

TEST_F(PluginHostAccess, DisplayCopyReadsTheChosenBufferBottomUp) {
    m_record.inRect = {0, 0, 2, 2};
    std::vector<uint8_t> in = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    std::vector<uint8_t> out(16, 200);
    m_record.inData = in.data();
    m_record.inRowBytes = 8;
    m_record.outData = out.data();
    m_record.outRowBytes = 8;
    uint8_t dib[2 * 8] = {};
    EXPECT_EQ(m_app.copyOutRect(dib, 8, 100, 100, false), 1);
    EXPECT_EQ(dib[0], 9);
    EXPECT_EQ(dib[8], 3);
    EXPECT_EQ(m_app.copyOutRect(dib, 8, 1, 1, true), 1);
    EXPECT_EQ(dib[0], 200);
    EXPECT_EQ(dib[8], 3) << "only one row was asked for";

    EXPECT_THROW(m_app.copyOutRect(dib, 5, 2, 2, false), CMessageFailure) << "stride too short";
    m_record.inRowBytes = 4;
    EXPECT_THROW(m_app.copyOutRect(dib, 8, 2, 2, false), CMessageFailure);
    m_record.imageMode = ps::plugInModeGrayScale;
    try {
        m_app.copyOutRect(dib, 8, 2, 2, false);
        ADD_FAILURE();
    } catch (const CHostCodeFailure& f) {
        EXPECT_EQ(f.Code(), -30101);
    }
}

TEST_F(PluginHostAccess, EngineMemoryComesFromOwnHeapWithoutPicaAndIsBalanced) {
    EXPECT_EQ(psMemAlloc(100, nullptr), nullptr);
    void* a = psMemAlloc(1000, &m_record);
    void* b = psMemAlloc(0, &m_record);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::memset(a, 1, 1000);
    EXPECT_EQ(m_app.OwnBlockCount(), 2u);
    psMemFree(a, &m_record);
    psMemFree(b, &m_record);
    psMemFree(nullptr, &m_record);
    EXPECT_EQ(m_app.OwnBlockCount(), 0u);
    EXPECT_EQ(m_app.OwnBlocksKept(), 2u) << "kept for the engine's next call";
    // Every host call, failed ones too, gives the kept blocks back before it returns.
    int16_t result = 0;
    intptr_t data = 0;
    m_app.Main(ps::filterSelectorParameters, nullptr, &data, &result);
    EXPECT_NE(result, 0);
    EXPECT_EQ(m_app.OwnBlocksKept(), 0u);
}

TEST_F(PluginHostAccess, ProgressIsForwardedAndCancelStops) {
    EXPECT_EQ(progProc(1, 2, nullptr), 1);
    static int progress = 0;
    static bool cancel = false;
    m_record.progressProc = [](int32_t, int32_t) { ++progress; };
    m_record.abortProc = []() -> ps::Boolean { return cancel; };
    EXPECT_EQ(progProc(1, 10, &m_record), 1);
    cancel = true;
    EXPECT_EQ(progProc(2, 10, &m_record), 0);
    EXPECT_EQ(progress, 2);
}

TEST_F(PluginHostAccess, InRectangleLargerThanTheFilterIsProcessedToTheFilterSize) {
    HMODULE engine = LoadLibraryA(TestPath("withengine/vwiglaze21_x64.dll").c_str());
    ASSERT_NE(engine, nullptr);
    auto control = reinterpret_cast<TestEngineControlProc>(
        reinterpret_cast<void*>(GetProcAddress(engine, "TestEngineControl")));
    const TestEngineScript script{1, 0, 0, 0};
    control(&script, nullptr);
    m_app.engineModule.Reset(LoadLibraryA(TestPath("withengine/vwiglaze21_x64.dll").c_str()));
    FilterParams params = DefaultParams();
    m_app.params = &params;
    m_record.filterRect = {0, 0, 3, 4};
    m_record.inRect = {0, 0, 5, 6};
    std::vector<uint8_t> in(5 * 18, 7), out(5 * 18, 0);
    m_record.inData = in.data();
    m_record.outData = out.data();
    m_record.inRowBytes = m_record.outRowBytes = 18;
    EXPECT_EQ(m_app.procInRect(false), 1);
    TestEngineCall call{};
    control(nullptr, &call);
    EXPECT_EQ(call.image.width, 4);
    EXPECT_EQ(call.image.height, 3);
    EXPECT_EQ(call.image.progressCallback, nullptr);
    EXPECT_EQ(out[11], 7);
    EXPECT_EQ(out[12], 0) << "columns past the filter rectangle are not copied";
    EXPECT_EQ(out[3 * 18], 0) << "rows past it neither";
    const HMODULE loaded = m_app.engineModule.Get();
    m_app.loadDLL();
    EXPECT_EQ(m_app.engineModule.Get(), loaded) << "a second load keeps the first handle";
    m_app.freeDLL();
    m_app.freeDLL();
    EXPECT_FALSE(m_app.engineModule);
    FreeLibrary(engine);
}

CMFCPlugInApp* g_boxApp = nullptr;
int g_fetchesWhileBoxOpen = -1;

// Runs inside the engine error box's modal loop: asks for a rectangle, then closes the box.
void CALLBACK WhileErrorBoxIsOpen(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM found) -> BOOL {
            char cls[16] = {};
            GetClassNameA(hwnd, cls, sizeof cls);
            if (std::strcmp(cls, "#32770") != 0)
                return TRUE;
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box)
        return;
    KillTimer(nullptr, timer);
    const int before = g_advanceCalls;
    g_boxApp->setAllRect(0, 3, 0, 4, 1);
    g_fetchesWhileBoxOpen = g_advanceCalls - before;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(PluginHostAccess, EngineErrorBoxDoesNotHoldTheRequestGuard) {
    HMODULE engine = LoadLibraryA(TestPath("withengine/vwiglaze21_x64.dll").c_str());
    ASSERT_NE(engine, nullptr);
    auto control = reinterpret_cast<TestEngineControlProc>(
        reinterpret_cast<void*>(GetProcAddress(engine, "TestEngineControl")));
    const TestEngineScript script{-2, 0, 0, 0};
    control(&script, nullptr);
    m_app.engineModule.Reset(LoadLibraryA(TestPath("withengine/vwiglaze21_x64.dll").c_str()));
    FilterParams params = DefaultParams();
    m_app.params = &params;
    m_record.filterRect = {0, 0, 3, 4};
    m_record.inRect = {0, 0, 3, 4};
    std::vector<uint8_t> in(3 * 12, 7), out(3 * 12, 0);
    m_record.inData = in.data();
    m_record.outData = out.data();
    m_record.inRowBytes = m_record.outRowBytes = 12;
    g_boxApp = &m_app;
    g_fetchesWhileBoxOpen = -1;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, WhileErrorBoxIsOpen);
    EXPECT_THROW(m_app.procInRect(false), CMessageFailure);
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_fetchesWhileBoxOpen, 1) << "the engine call is over while the user reads the box";
    EXPECT_FALSE(m_app.rectLock);
    m_app.freeDLL();
    FreeLibrary(engine);
}

}  // namespace
