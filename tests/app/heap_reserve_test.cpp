// The up-front heap: it is reserved without being touched, and what is
// allocated afterwards comes out of it. Each case runs in a process of its
// own, since a reservation changes the C library's heap settings for good.
#include "app/heap_reserve.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/child.h"

namespace {

constexpr size_t MB = size_t{1} << 20;

size_t breakAt()
{
    return reinterpret_cast<size_t>(sbrk(0));
}

size_t residentBytes()
{
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long size = 0, resident = 0;
    int got = fscanf(f, "%lu %lu", &size, &resident);
    fclose(f);
    return got == 2 ? resident * size_t(sysconf(_SC_PAGESIZE)) : 0;
}

TEST(HeapReserveEnv, ReservesUntouchedMemoryThatLaterAllocationsUse)
{
#ifndef PAGELIFT_HEAP_RESERVE
    GTEST_SKIP() << "no heap reservation on this platform or under this checker";
#endif

    size_t before = breakAt();
    reserveHeap(2 * MB);  // too small to be worth it
    EXPECT_EQ(before, breakAt());

    size_t resident = residentBytes();
    reserveHeap(64 * MB);
    size_t reserved = breakAt();
    EXPECT_GE(reserved - before, 64 * MB);
    EXPECT_LT(residentBytes(), resident + 16 * MB);

    // Small blocks, written to, all fit in what was reserved.
    std::vector<char *> blocks;
    for (size_t i = 0; i < 48 * MB / 1024; i++) {
        blocks.push_back(static_cast<char *>(malloc(1000)));
        ASSERT_NE(nullptr, blocks.back());
        blocks.back()[999] = char(i);
    }
    EXPECT_EQ(reserved, breakAt());
    for (size_t i = 0; i < blocks.size(); i++) ASSERT_EQ(char(i), blocks[i][999]);
    for (char *b : blocks) free(b);
}

TW_ENV_SUITE(HeapReserveEnv, Fresh);

}  // namespace
