#include "worktables.h"

#include <gtest/gtest.h>

namespace varnolt {
namespace {

TEST(PoolAlloc, ReleasesEveryBlockIncludingFailedRequests) {
    EXPECT_EQ(PoolAlloc(0), nullptr);  // an empty pool: nothing to give back
    EXPECT_EQ(PoolBlockCount(), 0);

    void* first = PoolAlloc(100);
    void* second = PoolAlloc(4096);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    // A request the system refuses still takes a slot, holding null.
    EXPECT_EQ(PoolAlloc(-1), nullptr);
    EXPECT_EQ(PoolBlockCount(), 3);

    EXPECT_EQ(PoolAlloc(0), nullptr);
    EXPECT_EQ(PoolBlockCount(), 0);
}

TEST(PoolAlloc, AFullPoolRefusesInsteadOfOverrunning) {
    for (int i = 0; i < 256; ++i) ASSERT_NE(PoolAlloc(8), nullptr);
    EXPECT_EQ(PoolAlloc(8), nullptr);
    EXPECT_EQ(PoolBlockCount(), 256);
    PoolAlloc(0);
    EXPECT_EQ(PoolBlockCount(), 0);
}

}  // namespace
}  // namespace varnolt
