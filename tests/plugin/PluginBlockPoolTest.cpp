// The plug-in's own heap for the engine: which given-back blocks serve the next request, and
// that kept memory is bounded and given back.
#include "plugin/BlockPool.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(BlockPool, ServesARequestFromAKeptBlockOnlyWhenItFitsWithoutWastingHalf) {
    struct Case {
        uint32_t kept, request;
        bool reused;
    } const cases[] = {
        {1 << 20, 1 << 20, true},  // the same plane again
        {1 << 20, 1 << 19, true},  // at most twice the request
        {1 << 20, (1 << 19) - 1, false},
        {1 << 20, (1 << 20) + 1, false},
        {1000, 0, false},  // an empty request is one byte
        {1, 0, true},
    };
    for (const Case& c : cases) {
        CBlockPool pool;
        void* block = pool.Alloc(c.kept);
        ASSERT_NE(block, nullptr);
        std::memset(block, 7, c.kept);
        ASSERT_TRUE(pool.Free(block));
        EXPECT_EQ(pool.BlocksKept(), 1u);
        void* again = pool.Alloc(c.request);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again == block, c.reused) << c.kept << " kept, " << c.request << " asked";
        std::memset(again, 1, c.request ? c.request : 1);  // as large as asked (ASan checks)
        EXPECT_EQ(pool.BlocksInUse(), 1u);
        EXPECT_EQ(pool.BlocksKept(), c.reused ? 0u : 1u);
        ASSERT_TRUE(pool.Free(again));
        pool.Trim();
        EXPECT_EQ(pool.BlocksKept(), 0u);
        EXPECT_EQ(pool.BlocksInUse(), 0u);
    }
}

TEST(BlockPool, KeepsAtMostItsLimitAndTakesBackOnlyItsOwnBlocks) {
    CBlockPool pool;
    const auto big = static_cast<uint32_t>(CBlockPool::kKeepBytes / 2 + 1);
    void* a = pool.Alloc(big);
    void* b = pool.Alloc(big);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    int foreign = 0;
    EXPECT_FALSE(pool.Free(&foreign));
    EXPECT_FALSE(pool.Free(nullptr));
    EXPECT_TRUE(pool.Free(a));
    EXPECT_TRUE(pool.Free(b));  // over the limit: freed at once
    EXPECT_FALSE(pool.Free(b)) << "a block is taken back once";
    EXPECT_EQ(pool.BlocksKept(), 1u);
    EXPECT_EQ(pool.BlocksInUse(), 0u);
}

}  // namespace
