// Host memory lent to plug-ins: handles, buffers and suite blocks, and the space they share.
#include "host/HostMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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

// A suite block given back is kept and serves a later request of about its size; spares never
// take the room held blocks need, and small blocks go straight back to the heap.
TEST(HostMemory, SpareSuiteBlocksServeLaterRequestsWithinTheLimit) {
    constexpr uint64_t MB = uint64_t(1) << 20;
    struct Case {
        const char* what;
        int64_t maxSpace;
        uint64_t first, second;  // the first is given back before the second is asked for
        bool reused;
        uint64_t spareAfter;  // spare bytes once the second is held
    } cases[] = {
        {"same size", 64 * MB, 8 * MB, 8 * MB, true, 0},
        {"a little smaller", 64 * MB, 9 * MB, 6 * MB, true, 0},
        {"much smaller: the spare stays", 64 * MB, 9 * MB, 5 * MB, false, 9 * MB},
        {"larger", 64 * MB, 8 * MB, 9 * MB, false, 8 * MB},
        {"larger, no room beside the spare", 16 * MB, 8 * MB, 9 * MB, false, 0},
        {"small blocks are not kept", 64 * MB, MB / 2, MB / 2, false, 0},
        {"a new block takes the spare's room", 8 * MB, 8 * MB, 1, false, 0},
    };
    for (const Case& c : cases) {
        CHostMemory memory(c.maxSpace);
        uint64_t granted = 0;
        ps::Ptr first = memory.SuiteNew(c.first, c.first, &granted);
        ASSERT_NE(first, nullptr) << c.what;
        std::memset(first, 0x5A, size_t(c.first));
        memory.SuiteDispose(&first);
        EXPECT_EQ(memory.Space(), c.maxSpace) << c.what;  // spares are not counted as held

        ps::Ptr second = memory.SuiteNew(c.second, c.second, &granted);
        ASSERT_NE(second, nullptr) << c.what;
        EXPECT_EQ(memory.SparesReused(), c.reused ? 1 : 0) << c.what;
        EXPECT_EQ(granted, c.second) << c.what;
        EXPECT_EQ(memory.SuiteSize(second), c.second) << c.what;  // what was asked, not the spare's
        EXPECT_EQ(memory.Space(), c.maxSpace - int64_t(c.second)) << c.what;
        EXPECT_EQ(uint64_t(memory.SpareBytes()), c.spareAfter) << c.what;
        std::memset(second, 0xA5, size_t(c.second));
        EXPECT_EQ(memory.FreeAllBuffers(), 1) << c.what;  // a run's end keeps the spares
        EXPECT_EQ(uint64_t(memory.SpareBytes()), c.spareAfter) << c.what;
    }

    // Held blocks, their spares' slack and the spares together stay within the limit.
    CHostMemory memory(32 * MB);
    std::vector<ps::Ptr> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(memory.SuiteNew(8 * MB, 8 * MB, nullptr));
    for (ps::Ptr& p : blocks) memory.SuiteDispose(&p);
    EXPECT_EQ(memory.SpareBytes(), int64_t(32 * MB));
    ps::Ptr held = memory.SuiteNew(6 * MB, 6 * MB, nullptr);  // served by an 8 MB spare
    ps::Ptr other = memory.SuiteNew(20 * MB, 20 * MB, nullptr);
    ASSERT_NE(held, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_LE(memory.SpareBytes() + int64_t(8 * MB + 20 * MB), int64_t(32 * MB));
    memory.SuiteDispose(&other);
    EXPECT_EQ(memory.SpareBytes(), int64_t(20 * MB));
    memory.SetMaxSpace(27 * MB);  // 6 MB held with its 2 MB slack + 20 MB spare no longer fit
    EXPECT_EQ(memory.SpareBytes(), 0);
    memory.SuiteDispose(&held);
    EXPECT_EQ(memory.SpareBytes(), int64_t(8 * MB));
    memory.ReleaseSpares();
    EXPECT_EQ(memory.SpareBytes(), 0);
}

}  // namespace
}  // namespace vg::host
