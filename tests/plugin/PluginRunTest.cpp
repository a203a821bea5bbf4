// The whole-image run through the built module with the test engine beside it: the host
// requests, the engine call's arguments, results, callbacks and where the engine comes from.
#include "FakeHost.h"
#include "PluginTestPaths.h"
#include "TestEngine.h"
#include "plugin/FilterParams.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Holds the test engine loaded (so its state outlives the plug-in's FreeLibrary) and
// scripts it.
class TestEngine {
public:
    TestEngine() : m_module(LoadLibraryA(TestPath("withengine/vwiglaze21_x64.dll").c_str())) {
        m_control = reinterpret_cast<TestEngineControlProc>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "TestEngineControl")));
        Script({1, 0, 0, 1});
    }
    ~TestEngine() { FreeLibrary(m_module); }
    void Script(const TestEngineScript& script) { m_control(&script, nullptr); }
    TestEngineCall Last() {
        TestEngineCall call{};
        m_control(nullptr, &call);
        return call;
    }

private:
    HMODULE m_module;
    TestEngineControlProc m_control = nullptr;
};

std::vector<DescriptorItem> Replay(const FilterParams& p) {
    std::vector<DescriptorItem> items;
    for (int i = 0; i < kParamCount; ++i) items.push_back({ParamInfoAt(i).key, GetParam(p, i)});
    return items;
}

TEST(PluginRun, ReplayedRunFiltersTheWholeRectangleOnceWith8Bits) {
    TestEngine engine;
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("CIT_"), 4.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    ASSERT_EQ(host.advanceCalls, 1);
    const TestEngineCall call = engine.Last();
    EXPECT_EQ(call.calls, 1);
    EXPECT_TRUE(call.dstHeldSource);
    EXPECT_EQ(call.image.pixelFormat, 1);
    EXPECT_EQ(call.image.width, 64);
    EXPECT_EQ(call.image.height, 48);
    EXPECT_EQ(call.image.sampleStep, 1);
    EXPECT_EQ(call.image.srcRowBytes, host.outRowBytes);
    EXPECT_EQ(call.image.dstRowBytes, host.outRowBytes);
    EXPECT_EQ(call.image.hostContext, host.Record());
    EXPECT_EQ(call.args.cleanStrength, 4);
    // Output: the engine inverted the copy of the input; the host's row padding is untouched.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64 * 3; ++x)
            ASSERT_EQ(host.outBuffer[size_t(y) * host.outRowBytes + x],
                      uint8_t(255 - host.image8[size_t(y) * 64 * 3 + x]));
    EXPECT_EQ(host.outBuffer[64 * 3], 0xEE);
    // The rectangles are empty afterwards, so the host asks for nothing more.
    EXPECT_EQ(host.Record()->inRect.right - host.Record()->inRect.left, 0);
    EXPECT_EQ(host.Record()->outRect.bottom - host.Record()->outRect.top, 0);
    EXPECT_EQ(host.Record()->inputPadding, -3);
}

TEST(PluginRun, SixteenBitImagesReachTheEngineAsFormat3) {
    TestEngine engine;
    FakeHostOptions options;
    options.imageMode = ps::plugInModeRGB48;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Run(false), 0);
    const TestEngineCall call = engine.Last();
    EXPECT_EQ(call.image.pixelFormat, 3);
    EXPECT_TRUE(call.dstHeldSource);
    uint16_t first = 0;
    std::memcpy(&first, host.outBuffer.data(), 2);
    EXPECT_EQ(first, 32768 - host.image16[0]);
}

TEST(PluginRun, BigDocumentRectanglesBeyond16BitsAreRequestedWhole) {
    TestEngine engine;
    FakeHostOptions options;
    options.bigDocument = true;
    options.width = 40000;
    options.height = 2;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Run(false), 0);
    ASSERT_EQ(host.fetched.size(), 1u);
    EXPECT_EQ(host.fetched[0].right, 40000);
    EXPECT_EQ(engine.Last().image.width, 40000);
    EXPECT_EQ(host.Record()->bigDocumentData->PluginUsing32BitCoordinates, 1);
}

TEST(PluginRun, ContinueCalledAnywayFetchesNothing) {
    TestEngine engine;
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    ASSERT_EQ(host.Call(ps::filterSelectorStart), 0);
    const int fetches = host.advanceCalls;
    EXPECT_EQ(host.Call(ps::filterSelectorContinue), 0);
    EXPECT_EQ(host.Call(ps::filterSelectorContinue), 0);
    EXPECT_EQ(host.advanceCalls, fetches);
    EXPECT_EQ(engine.Last().calls, 1);
}

TEST(PluginRun, CancelDuringTheRunReportsCanceledAndRestoresTheValues) {
    TestEngine engine;
    engine.Script({1, 10, 0, 1});
    FakeHostOptions options;
    options.abortAfter = 3;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    host.SetDescriptor({{FourCC("CIT_"), 7.0}}, ps::plugInDialogDontDisplay);
    EXPECT_EQ(host.Call(ps::filterSelectorStart), -128);
    EXPECT_EQ(engine.Last().stoppedAt, 4);
    EXPECT_EQ(host.progressCalls, 4);
    EXPECT_EQ(host.StoredParams()[0], 0.0);
}

TEST(PluginRun, ProgressIsForwardedToTheHost) {
    TestEngine engine;
    engine.Script({1, 5, 0, 1});
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_EQ(host.progressCalls, 5);
    EXPECT_EQ(host.abortCalls, 5);
    EXPECT_EQ(engine.Last().stoppedAt, -1);
}

TEST(PluginRun, EngineArgumentsAreConvertedAsTheEngineExpects) {
    TestEngine engine;
    FakeHost host(ModuleWithEngine());
    FilterParams p = DefaultParams();
    p.cleanStrength = 7.99;
    p.cleanRadius = 0.5;
    p.cleanThreshold = 1.5;
    p.edgeAccent = 2.8;
    p.textureBoost = 4;
    p.edgeRadius = 3.25;
    p.edgeSharpness = 2.5;
    p.textureStrength = 0.75;
    p.textureSize = 5.5;
    host.SetDescriptor(Replay(p), ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    EngineArgs a = engine.Last().args;
    EXPECT_EQ(a.mode, 1);
    EXPECT_EQ(a.cleanStrength, 7);
    EXPECT_EQ(a.cleanRadius, 0.8f);
    EXPECT_EQ(a.edgeAccent, 3);
    EXPECT_EQ(a.textureInvBoost, 0.25f);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(a.channelThresholds[c], float(1.5 * double(0.1f)));
        EXPECT_EQ(a.channelFactors[c], 1.0f);
    }
    EXPECT_EQ(a.edgeRadius, 3.25f);
    EXPECT_EQ(a.edgeSharpness, 2.5f);
    EXPECT_EQ(a.constant, 0.025f);
    EXPECT_EQ(a.textureStrength, 0.75f);
    EXPECT_EQ(a.textureSize, 5.5f);

    p.cleanRadius = 300;
    p.edgeAccent = 2.7;
    host.SetDescriptor(Replay(p), ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    a = engine.Last().args;
    EXPECT_EQ(a.cleanRadius, 200.0f);
    EXPECT_EQ(a.edgeAccent, 2);
}

TEST(PluginRun, EngineErrorsShowTheirMessageAndFailWithTheirText) {
    struct Case {
        int32_t code;
        const char* box;
        const char* failure;
    };
    const Case cases[] = {
        {-1, "procEngine: not enough memory", "- procEngine: not enough memory"},
        {-2, "procEngine: internal error", "- procEngine: internal error"},
        {-3, "procEngine: bad parameters", "- procEngine: bad parameters"},
        {5, "procEngine: error code: 5", "- procEngine: other error"},
    };
    TestEngine engine;
    for (const Case& c : cases) {
        engine.Script({c.code, 0, 0, 0});
        MessageBoxCloser closer;
        FakeHost host(ModuleWithEngine());
        EXPECT_EQ(host.Run(false), -30904) << c.code;
        EXPECT_EQ(host.errorText(), c.failure);
        const auto texts = closer.Texts();
        ASSERT_EQ(texts.size(), 1u) << c.code;
        EXPECT_EQ(texts[0], std::string("Varen Glaze 2|") + c.box);
    }
    engine.Script({0, 0, 0, 0});
    FakeHost host(ModuleWithEngine());
    EXPECT_EQ(host.Run(false), -128) << "the engine's cancel";
}

TEST(PluginRun, HostWithoutBufferSuiteServesEngineMemoryFromOwnHeap) {
    TestEngine engine;
    engine.Script({1, 0, 1 << 20, 1});
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_FALSE(engine.Last().allocGotNull);
    EXPECT_EQ(host.suiteNew, 0);
}

TEST(PluginRun, BufferSuiteServesEngineMemoryWhenOffered) {
    TestEngine engine;
    engine.Script({1, 0, 4096, 1});
    FakeHostOptions options;
    options.bufferSuite = true;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_FALSE(engine.Last().allocGotNull);
    EXPECT_EQ(host.suiteNew, 1);
    EXPECT_EQ(host.suiteDispose, 1);
    EXPECT_EQ(host.suiteAcquire, host.suiteRelease);
}

TEST(PluginRun, HostWithoutSamplingIsAskedAtStepOne) {
    TestEngine engine;
    FakeHostOptions options;
    options.sampling = false;
    options.padding = false;
    FakeHost host(ModuleWithEngine(), options);
    host.Record()->inputRate = 4 << 16;
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_EQ(engine.Last().image.sampleStep, 1);
    EXPECT_EQ(host.Record()->inputRate, 4 << 16) << "left alone without sampling";
}

TEST(PluginRun, EngineInCurrentDirectoryOnlyIsNotLoaded) {
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(TestPath("cwdengine").c_str()));
    {
        FakeHost host(ModuleWithoutEngine());
        EXPECT_EQ(host.Run(false), -30904);
        EXPECT_EQ(host.errorText(), "Cannot load vwiglaze21_x64.dll");
    }
    SetCurrentDirectoryA(previous);
}

TEST(PluginRun, EngineBesideThePluginIsLoadedWhateverTheCurrentDirectory) {
    TestEngine engine;
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(TestPath("noengine").c_str());
    {
        FakeHost host(ModuleWithEngine());
        EXPECT_EQ(host.Run(false), 0);
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(engine.Last().calls, 1);
}

}  // namespace
