// Selector dispatch and the entry point's failure handling, through the built module.
#include "FakeHost.h"
#include "PluginTestPaths.h"
#include "plugin/FilterParams.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PluginEntry, UnknownSelectorsLeaveTheResultAlone) {
    FakeHost host(ModuleWithEngine());
    ASSERT_TRUE(host.Loaded());
    EXPECT_EQ(host.Call(6), 0);
    EXPECT_EQ(host.Call(-1), 0);
    EXPECT_EQ(host.DataWord(), 0);
}

TEST(PluginEntry, NullRecordReportsAMessageWithoutTouchingIt) {
    FakeHost host(ModuleWithEngine());
    auto main = reinterpret_cast<ps::PluginMainProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("VarenGlaze2.8bf"), "PluginMain")));
    ASSERT_NE(main, nullptr);
    intptr_t data = 0;
    int16_t result = 0;
    for (int16_t selector = 0; selector <= 5; ++selector) {
        result = 0;
        main(selector, nullptr, &data, &result);
        EXPECT_EQ(result, -30904) << selector;
    }
}

TEST(PluginEntry, AboutReadsNoFilterRecordFields) {
    // An AboutRecord is much shorter than a filter record: put it at the end of readable
    // memory, so any read of a filter record field faults.
    FakeHost host(ModuleWithEngine());
    MessageBoxCloser closer;
    char* pages =
        static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old);
    auto* about = reinterpret_cast<ps::AboutRecord*>(pages + 4096 - sizeof(ps::AboutRecord));
    std::memset(about, 0xCD, sizeof *about);
    auto main = reinterpret_cast<ps::PluginMainProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("VarenGlaze2.8bf"), "PluginMain")));
    intptr_t data = 0x12345678;
    int16_t result = 0;
    main(ps::filterSelectorAbout, about, &data, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(data, 0x12345678);
    EXPECT_EQ(host.unlocks, 0);
    const auto texts = closer.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Varen Glaze 2|Varen Glaze 2 ", 0), 0u) << texts[0];
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(PluginEntry, ShortHostRecordsAreNotReadPastTheirEnd) {
    for (int32_t size : {ps::kFilterRecordSize552, ps::kFilterRecordSize556,
                         ps::kFilterRecordSizeCS6, ps::kFilterRecordSize}) {
        FakeHost host(ModuleWithEngine(), FakeHostOptions{size});
        EXPECT_EQ(host.Run(false), 0) << size;
        EXPECT_EQ(host.advanceCalls, 1) << size;
    }
}

TEST(PluginEntry, BadImageModeIsRefusedWithFilterBadMode) {
    FakeHostOptions options;
    options.imageMode = ps::plugInModeGrayScale;
    FakeHost host(ModuleWithEngine(), options);
    EXPECT_EQ(host.Call(ps::filterSelectorParameters), -30101);
    EXPECT_EQ(host.Call(ps::filterSelectorPrepare), -30101);
    EXPECT_EQ(host.DataWord(), 0);
}

TEST(PluginEntry, MissingHandleProcsFailWithTheirMessage) {
    FakeHost host(ModuleWithEngine());
    host.Record()->handleProcs = nullptr;
    EXPECT_EQ(host.Call(ps::filterSelectorParameters), -30904);
    EXPECT_EQ(host.errorText(), "No handle created in CMFCPlugInApp::Parameters");
}

TEST(PluginEntry, FailureAfterPrepareRestoresThePrepareTimeValues) {
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Call(ps::filterSelectorParameters), 0);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    // The replayed values are stored, then the host cannot deliver the image.
    host.SetDescriptor({{FourCC("CIT_"), 6.0}}, ps::plugInDialogDontDisplay);
    host.Record()->advanceState = [] { return ps::OSErr(-108); };
    EXPECT_EQ(host.Call(ps::filterSelectorStart), -30904);
    EXPECT_EQ(host.errorText(), "getRectImage-cannot get image!");
    ASSERT_NE(host.StoredParams(), nullptr);
    EXPECT_EQ(host.StoredParams()[0], 0.0);
}

TEST(PluginEntry, StaleBackupOfAnEarlierRunIsNotRestored) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("CIT_"), 5.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    ASSERT_EQ(host.StoredParams()[0], 5.0);
    // The next run fails at its first selector, before any Prepare took a backup.
    host.Record()->imageMode = ps::plugInModeGrayScale;
    EXPECT_EQ(host.Call(ps::filterSelectorParameters), -30101);
    host.Record()->imageMode = ps::plugInModeRGBColor;
    EXPECT_EQ(host.StoredParams()[0], 5.0);
}

TEST(PluginEntry, FailedPrepareDoesNotRestoreTheBackupOfARunThatNeverFinished) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("CIT_"), 5.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    ASSERT_EQ(host.Call(ps::filterSelectorStart), 0);
    ASSERT_EQ(host.StoredParams()[0], 5.0);
    // The host never sends Finish; the next run fails in Prepare before its backup is taken.
    host.Record()->imageMode = ps::plugInModeGrayScale;
    EXPECT_EQ(host.Call(ps::filterSelectorPrepare), -30101);
    host.Record()->imageMode = ps::plugInModeRGBColor;
    EXPECT_EQ(host.StoredParams()[0], 5.0);
}

TEST(PluginEntry, UnlockableHandleFailsWithItsMessage) {
    FakeHost host(ModuleWithEngine());
    static ps::HandleProcs procs;
    procs = *host.Record()->handleProcs;
    procs.lockProc = [](ps::Handle, ps::Boolean) -> ps::Ptr { return nullptr; };
    host.Record()->handleProcs = &procs;
    EXPECT_EQ(host.Call(ps::filterSelectorParameters), -30904);
    EXPECT_EQ(host.errorText(), "No pointer to data in CMFCPlugInApp::Parameters");
}

}  // namespace
