// Proves the test setup: the binary runs (natively or under Wine) with the expected ABI.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

TEST(Toolchain, PointersAre64Bit) { EXPECT_EQ(sizeof(void*), 8u); }

TEST(Toolchain, LongMatchesPlatformModel) {
#ifdef _WIN32
    EXPECT_EQ(sizeof(long), 4u);  // LLP64
#else
    EXPECT_EQ(sizeof(long), 8u);  // LP64
#endif
}

TEST(Toolchain, FormatsDoublesLikeTheCRuntime) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*g", 6, 0.1 + 0.2);
    EXPECT_EQ(std::string(buf), "0.3");
}
