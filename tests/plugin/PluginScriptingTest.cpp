// The parameter handle in the host's data word and the scripting descriptor.
#include "FakeHost.h"
#include "PluginTestPaths.h"
#include "plugin/FilterParams.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::vector<DescriptorItem> AllKeys(double base) {
    std::vector<DescriptorItem> items;
    for (int i = 0; i < kParamCount; ++i) items.push_back({ParamInfoAt(i).key, base + i});
    return items;
}

TEST(PluginScripting, ParametersMakesOneHandleWithTheDefaults) {
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Call(ps::filterSelectorParameters), 0);
    ASSERT_NE(host.DataWord(), 0);
    EXPECT_EQ(host.Record()->parameters, nullptr);
    EXPECT_EQ(host.handlesLive, 1);
    const FilterParams defaults = DefaultParams();
    for (int i = 0; i < kParamCount; ++i)
        EXPECT_EQ(host.StoredParams()[i], GetParam(defaults, i)) << i;
    // Repeated calls keep the handle and the values.
    const intptr_t handle = host.DataWord();
    const_cast<double*>(host.StoredParams())[2] = 1.25;
    ASSERT_EQ(host.Call(ps::filterSelectorParameters), 0);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    EXPECT_EQ(host.DataWord(), handle);
    EXPECT_EQ(host.StoredParams()[2], 1.25);
    EXPECT_EQ(host.handlesLive, 1);
    EXPECT_EQ(host.Record()->bufferSpace, 60000000);
}

TEST(PluginScripting, EveryCallUnlocksTheHandle) {
    FakeHost host(ModuleWithEngine());
    host.Call(ps::filterSelectorParameters);
    host.Call(ps::filterSelectorPrepare);
    host.Call(7);
    EXPECT_EQ(host.unlocks, 3);
}

TEST(PluginScripting, EveryLockOfTheHandleIsUndoneByTheSameCall) {
    // A handle left locked cannot be moved or compacted by hosts that count locks.
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("CIT_"), 2.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_EQ(host.locks, host.unlocks) << "replayed run that makes the handle in Prepare";
    ASSERT_EQ(host.Call(ps::filterSelectorParameters), 0);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    EXPECT_EQ(host.locks, host.unlocks) << "Prepare after a parameters call";
    // A failing call skips Exit, but not the unlock of what it locked.
    host.Record()->advanceState = [] { return ps::OSErr(-108); };
    EXPECT_EQ(host.Call(ps::filterSelectorStart), -30904);
    EXPECT_EQ(host.locks, host.unlocks) << "failed start";
}

TEST(PluginScripting, DescriptorWithSomeKeysChangesOnlyThose) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("TBT_"), 3.5}, {FourCC("CRD_"), 12.0}},
                       ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    FilterParams expected = DefaultParams();
    expected.textureBoost = 3.5;
    expected.cleanRadius = 12.0;
    for (int i = 0; i < kParamCount; ++i)
        EXPECT_EQ(host.StoredParams()[i], GetParam(expected, i)) << i;
}

TEST(PluginScripting, UnknownKeyStopsReadingAndReportsTheCloseResult) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("CIT_"), 3.0}, {FourCC("XYZ_"), 1.0}, {FourCC("CTH_"), 1.4}},
                       ps::plugInDialogDontDisplay);
    // The close result replaces the reader's own error.
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_EQ(host.StoredParams()[0], 3.0);
    EXPECT_EQ(host.StoredParams()[2], 0.5) << "fields after the unknown key keep their values";

    host.SetDescriptor({{FourCC("CIT_"), 4.0}}, ps::plugInDialogDontDisplay);
    host.closeReadResult = -1715;
    EXPECT_EQ(host.Run(false), -1715);
    EXPECT_FALSE(host.HasDescriptor()) << "the read descriptor is disposed of";
}

TEST(PluginScripting, PlayInfoDontDisplaySkipsTheDialogAfterAnInteractiveCall) {
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Call(ps::filterSelectorParameters), 0);
    host.SetDescriptor(AllKeys(1.0), ps::plugInDialogDontDisplay);
    EXPECT_EQ(host.Run(true), 0);
    EXPECT_EQ(host.StoredParams()[8], 9.0);
}

TEST(PluginScripting, InteractiveRunShowsTheDialogAndCancelKeepsTheStoredValues) {
    FakeHost host(ModuleWithEngine());
    // A user who cancels the dialog, from another thread as a click would come.
    std::atomic<bool> seen{false};
    // Windows of this process only: other tests may show theirs at the same time.
    auto find = [](const char* caption) -> HWND {
        for (HWND w = FindWindowA("#32770", caption); w;
             w = FindWindowExA(nullptr, w, "#32770", caption)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId())
                return w;
        }
        return nullptr;
    };
    std::thread user([&seen, &find] {
        for (int i = 0; i < 1500 && !seen; ++i) {
            // Without an installation folder in the registry the dialog says so first.
            if (HWND box = find("Varen Glaze 2"))
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            HWND dialog = find("Varen Glaze 2 - Edge Smoothness and Image Clarity");
            if (dialog && IsWindowVisible(dialog)) {
                seen = true;
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(20);
        }
    });
    EXPECT_EQ(host.Run(true), -128);
    user.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(host.StoredParams()[1], 8.0);  // the defaults, as before the dialog
}

TEST(PluginScripting, WrittenDescriptorHoldsAllNineKeysInRecordOrder) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("ELA_"), 2.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    const auto items = host.RecordedDescriptor();
    ASSERT_EQ(items.size(), 9u);
    FilterParams expected = DefaultParams();
    expected.edgeAccent = 2.0;
    for (int i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(items[i].key, ParamInfoAt(i).key) << i;
        EXPECT_EQ(items[i].value, GetParam(expected, i)) << i;
    }
    EXPECT_EQ(host.Record()->descriptorParameters->recordInfo, ps::plugInDialogOptional);
    EXPECT_EQ(host.handlesLive, 2) << "parameter handle and the new descriptor only";
}

TEST(PluginScripting, NoWriterGivesMissingParameterAndKeepsTheDescriptor) {
    FakeHostOptions options;
    options.writer = false;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    host.SetDescriptor({{FourCC("CIT_"), 1.0}}, ps::plugInDialogDontDisplay);
    EXPECT_EQ(host.Call(ps::filterSelectorFinish), -1715);
    EXPECT_TRUE(host.HasDescriptor());
}

TEST(PluginScripting, FailedWriterCloseKeepsTheRecordedDescriptor) {
    FakeHost host(ModuleWithEngine());
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    host.SetDescriptor({{FourCC("CIT_"), 1.0}}, ps::plugInDialogDontDisplay);
    host.closeWriteResult = -34;
    EXPECT_EQ(host.Call(ps::filterSelectorFinish), -34);
    ASSERT_TRUE(host.HasDescriptor());
    EXPECT_EQ(host.RecordedDescriptor().size(), 1u);
}

TEST(PluginScripting, HostWithoutDescriptorsRunsWithStoredValues) {
    FakeHostOptions options;
    options.descriptors = false;
    FakeHost host(ModuleWithEngine(), options);
    EXPECT_EQ(host.Run(false), 0);
    EXPECT_EQ(host.advanceCalls, 1);
}

TEST(PluginScripting, SecondRunStartsFromTheFirstRunsValues) {
    FakeHost host(ModuleWithEngine());
    host.SetDescriptor({{FourCC("ESP_"), 2.5}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    host.SetDescriptor({{FourCC("TRN_"), 5.0}}, ps::plugInDialogDontDisplay);
    ASSERT_EQ(host.Run(false), 0);
    EXPECT_EQ(host.StoredParams()[3], 2.5);
    EXPECT_EQ(host.StoredParams()[8], 5.0);
}

}  // namespace
