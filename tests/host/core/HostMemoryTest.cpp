// Host memory lent to plug-ins: handles, buffers and suite blocks, and the space they share.
#include "host/HostMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vg::host {
namespace {

TEST(HostMemory, HandlesKeepTheirContentsAndLockedOnesStayPut) {
    CHostMemory memory;
    ps::Handle h = memory.NewHandle(4);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(std::string(*h, 4), std::string(4, '\0'));  // zero-filled
    std::memcpy(*h, "abcd", 4);
    ASSERT_EQ(memory.SetHandleSize(h, 6), ps::noErr);
    EXPECT_EQ(memory.HandleBytes(h), std::string("abcd\0\0", 6));
    ASSERT_EQ(memory.SetHandleSize(h, 2), ps::noErr);
    EXPECT_EQ(memory.HandleBytes(h), "ab");

    ps::Ptr locked = memory.LockHandle(h);
    EXPECT_EQ(locked, *h);
    EXPECT_EQ(memory.SetHandleSize(h, 3), ps::memFullErr);  // a locked block cannot move
    EXPECT_EQ(memory.SetHandleSize(h, 1), ps::noErr);       // but it can shrink in place
    EXPECT_EQ(*h, locked);
    memory.UnlockHandle(h);
    EXPECT_EQ(memory.SetHandleSize(h, 100), ps::noErr);
    EXPECT_EQ(memory.HandleSize(h), 100);

    for (int32_t bad : {-1, CHostMemory::kMaxHandleSize + 1}) {
        EXPECT_EQ(memory.NewHandle(bad), nullptr) << bad;
        EXPECT_EQ(memory.SetHandleSize(h, bad), ps::memFullErr) << bad;
    }
    ps::Handle empty = memory.NewHandle(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(memory.HandleSize(empty), 0);
    EXPECT_EQ(memory.LiveHandles(), 2);

    // A pointer that is not one of ours is never followed.
    char* block = nullptr;
    ps::Handle foreign = &block;
    EXPECT_FALSE(memory.Owns(foreign));
    EXPECT_EQ(memory.HandleSize(foreign), 0);
    EXPECT_EQ(memory.SetHandleSize(foreign, 8), ps::nilHandleErr);
    EXPECT_EQ(memory.LockHandle(foreign), nullptr);
    EXPECT_EQ(memory.HandleBytes(foreign), "");
    memory.DisposeHandle(foreign);
    memory.DisposeHandle(h);
    memory.DisposeHandle(h);  // twice: the second is not ours any more
    EXPECT_EQ(memory.LiveHandles(), 1);
}

TEST(HostMemory, BuffersAndSuiteBlocksShareTheSpaceAndGiveItBack) {
    CHostMemory memory(1000);
    ps::BufferID a = nullptr, b = nullptr, zero = nullptr;
    ASSERT_EQ(memory.AllocateBuffer(600, &a), ps::noErr);
    EXPECT_EQ(memory.AllocateBuffer(500, &b), ps::memFullErr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(memory.AllocateBuffer(-1, &b), ps::paramErr);
    EXPECT_EQ(memory.AllocateBuffer(1, nullptr), ps::paramErr);
    ASSERT_EQ(memory.AllocateBuffer(0, &zero), ps::noErr);
    EXPECT_NE(memory.LockBuffer(zero), nullptr);  // even an empty buffer has an address
    EXPECT_EQ(memory.Space(), 400);

    uint64_t granted = 0;
    ps::Ptr block = memory.SuiteNew(1000, 100, &granted);  // what is left, at least the minimum
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(granted, 400u);
    EXPECT_EQ(memory.SuiteSize(block), 400u);
    EXPECT_EQ(memory.SuiteNew(10, 1, &granted), nullptr);  // not even the minimum fits
    EXPECT_EQ(memory.Space(), 0);
    EXPECT_EQ(memory.PeakBytes(), 1000);

    memory.FreeBuffer(zero);  // freeing an empty buffer gives back nothing it did not take
    memory.SuiteDispose(&block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(memory.Space(), 400);
    memory.FreeBuffer(a);
    memory.FreeBuffer(a);  // twice
    EXPECT_EQ(memory.Space(), 1000);
    EXPECT_EQ(memory.LockBuffer(a), nullptr);

    ASSERT_EQ(memory.AllocateBuffer(10, &a), ps::noErr);
    ASSERT_NE(memory.SuiteNew(0, 20, &granted), nullptr);
    EXPECT_EQ(memory.FreeAllBuffers(), 2);
    EXPECT_EQ(memory.Space(), 1000);
}

}  // namespace
}  // namespace vg::host
