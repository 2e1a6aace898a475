#include "twlib/containers/sym.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

void *word(uintptr_t n) { return reinterpret_cast<void *>(n); }
uintptr_t num(const void *p) { return reinterpret_cast<uintptr_t>(p); }

twSymTable *pointerTable(uint32_t slots)
{
    return twSymCreate(slots, twSymPtrHash, twSymPtrCmp, twSymReturn, twSymDummy);
}

// The slot count, read back from the chain-length histogram ("0: N\n").
uint32_t slotCount(const twSymTable *t)
{
    testing::internal::CaptureStdout();
    twSymAnalyze(t, 0);
    return static_cast<uint32_t>(
        std::strtoul(testing::internal::GetCapturedStdout().c_str() + 3, nullptr, 10));
}

std::vector<uintptr_t> freedValues;
void recordValue(void *v) { freedValues.push_back(num(v)); }

std::vector<uintptr_t> visited;
int visit(void *, void *key, void *stopAfter, void *)
{
    visited.push_back(num(key));
    return visited.size() < num(stopAfter);
}

TEST(SymTest, FetchStoreRemoveAndNotFoundValue)
{
    twSymTable *t = pointerTable(7);
    EXPECT_EQ(nullptr, twSymFetch(t, word(1)));
    twSymNotFoundValue(t, word(0xdead));
    EXPECT_EQ(word(0xdead), twSymStore(t, word(1), word(10)));
    EXPECT_EQ(word(0xdead), twSymFetch(t, word(8))); // same chain, absent
    EXPECT_EQ(word(0xdead), twSymRemove(t, word(8)));
    EXPECT_EQ(nullptr, twSymFetchAddr(t, word(8)));

    twSymStore(t, word(8), word(0xdead)); // told apart from absence by address
    ASSERT_NE(nullptr, twSymFetchAddr(t, word(8)));
    *twSymFetchAddr(t, word(8)) = word(80);
    EXPECT_EQ(word(10), twSymStore(t, word(1), word(11)));
    EXPECT_EQ(2u, twSymSize(t));
    EXPECT_EQ(word(11), twSymRemove(t, word(1)));
    EXPECT_EQ(word(80), twSymFetch(t, word(8)));
    EXPECT_EQ(1u, twSymSize(t));
    twSymDestroy(t, twSymDummy);
}

// Key callbacks that count; a released key is scribbled over so that a
// later read of it shows.
int keyCopies = 0, keyFrees = 0;
void *countingCopy(const void *key)
{
    keyCopies++;
    return strdup(static_cast<const char *>(key));
}
void countingFree(void *key)
{
    keyFrees++;
    std::memset(key, 'X', std::strlen(static_cast<char *>(key)));
    free(key);
}

TEST(SymTest, KeptKeysReleasedExactlyOnce)
{
    twSymTable *t = twSymCreate(5, twSymStHash, twSymStEqu, countingCopy, countingFree);
    twSymStore(t, "alpha", word(1));
    EXPECT_EQ(word(1), twSymStore(t, "alpha", word(2)));
    EXPECT_EQ(2, keyCopies);
    EXPECT_EQ(1, keyFrees);
    EXPECT_EQ(1u, twSymSize(t));

    // Storing under the kept key itself (as a loop callback might) used to
    // copy the key after releasing it.
    void *kept = nullptr;
    twSymLoopAddr2(t, [](void **, void **key, void *out, void *) {
        *static_cast<void **>(out) = *key;
        return 1;
    }, &kept, nullptr);
    freedValues.clear();
    EXPECT_EQ(word(2), twSymStore(t, kept, word(3)));
    EXPECT_EQ(word(3), twSymFetch(t, "alpha"));

    twSymStore(t, "beta", word(4));
    twSymRemove(t, "beta");
    twSymStore(t, "gamma", word(5));
    twSymClear(t, recordValue);
    std::sort(freedValues.begin(), freedValues.end());
    EXPECT_EQ((std::vector<uintptr_t>{3, 5}), freedValues);
    EXPECT_EQ(nullptr, twSymFetch(t, "alpha"));
    twSymStore(t, "delta", word(6));
    // The do-nothing procedure is accepted as a value releaser.
    twSymDestroy(t, reinterpret_cast<twSymFreeFn>(reinterpret_cast<void (*)(void)>(twDummyProc)));
    EXPECT_EQ(keyCopies, keyFrees);
}

TEST(SymTest, DynamicTableGrowsToPrimes)
{
    // 2 x 401 entries fit; the 803rd makes 2 * 803 = 1606, odd 1607, prime.
    twSymTable *t = pointerTable(401);
    twSymDynamic(t, 2.0, 2.0);
    for (uintptr_t k = 1; k <= 802; k++)
        twSymStore(t, word(k), word(k));
    EXPECT_EQ(401u, slotCount(t));
    twSymStore(t, word(803), word(803));
    EXPECT_EQ(1607u, slotCount(t));
    for (uintptr_t k = 1; k <= 803; k++)
        ASSERT_EQ(word(k), twSymFetch(t, word(k))) << k;
    twSymResize(t, 0); // plain rehash
    EXPECT_EQ(1607u, slotCount(t));
    EXPECT_EQ(word(400), twSymFetch(t, word(400)));
    twSymDestroy(t, twSymDummy);

    // A table with no slots used to divide by zero on its first store. From
    // one slot: 3 -> 7, 15 -> 31, 63 -> 127, 255 -> 511 = 7 * 73 -> 521.
    t = pointerTable(0);
    EXPECT_EQ(nullptr, twSymFetch(t, word(1)));
    twSymDynamic(t, 2.0, 2.0);
    std::vector<uint32_t> sizes{slotCount(t)};
    for (uintptr_t k = 1; k <= 300; k++) {
        twSymStore(t, word(k), word(k));
        if (slotCount(t) != sizes.back())
            sizes.push_back(slotCount(t));
    }
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 7, 31, 127, 521}), sizes);
    twSymDestroy(t, twSymDummy);

    // Made dynamic when crowded, a table grows at once (2 * 50 -> 101); a
    // small growth factor never shrinks it (0.5 * 50 would give 29).
    t = pointerTable(11);
    for (uintptr_t k = 1; k <= 50; k++)
        twSymStore(t, word(k), word(k));
    twSymDynamic(t, 2.0, 2.0);
    EXPECT_EQ(101u, slotCount(t));
    twSymResize(t, 31);
    twSymDynamic(t, 1.0, 0.5);
    EXPECT_EQ(31u, slotCount(t));
    twSymDestroy(t, twSymDummy);
}

TEST(SymTest, MoveAllAndCopyAll)
{
    twSymTable *src = pointerTable(5);
    twSymTable *dst = pointerTable(7);
    twSymNotFoundValue(dst, word(0xbad)); // not a value: never released
    for (uintptr_t k = 1; k <= 4; k++)
        twSymStore(src, word(k), word(k * 10));
    twSymStore(dst, word(2), word(200));

    freedValues.clear();
    EXPECT_EQ(0, twSymCopyAll(dst, src, [](void *v) { return word(num(v) + 1); }, recordValue));
    EXPECT_EQ((std::vector<uintptr_t>{200}), freedValues);
    EXPECT_EQ(word(21), twSymFetch(dst, word(2)));
    EXPECT_EQ(4u, twSymSize(src));

    twSymStore(src, word(5), word(50));
    freedValues.clear();
    EXPECT_EQ(0, twSymMoveAll(dst, src, recordValue));
    EXPECT_EQ((std::vector<uintptr_t>{11, 21, 31, 41}), freedValues);
    EXPECT_EQ(0u, twSymSize(src));
    EXPECT_EQ(nullptr, twSymFetch(src, word(1)));
    EXPECT_EQ(word(30), twSymFetch(dst, word(3)));

    twSymStore(src, word(1), word(1)); // the emptied source stays usable
    EXPECT_EQ(0, twSymMoveAll(src, src, recordValue));
    EXPECT_EQ(1u, twSymSize(src));
    twSymDestroy(src, twSymDummy);
    twSymDestroy(dst, twSymDummy);
}

TEST(SymTest, LoopsStopAndResume)
{
    twSymTable *t = pointerTable(3);
    visited.clear();
    EXPECT_EQ(1, twSymLoop(t, visit, word(SIZE_MAX), nullptr));
    EXPECT_TRUE(visited.empty());
    for (uintptr_t k = 1; k <= 8; k++)
        twSymStore(t, word(k), word(k));
    EXPECT_EQ(1, twSymLoop(t, visit, word(SIZE_MAX), nullptr));
    const std::vector<uintptr_t> all{6, 3, 7, 4, 1, 8, 5, 2}; // newest first per chain
    EXPECT_EQ(all, visited);

    visited.clear();
    EXPECT_EQ(0, twSymLoop(t, visit, word(3), nullptr));
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(visited.back()), word(SIZE_MAX), nullptr));
    EXPECT_EQ(all, visited) << "an interrupted walk continues after its last key";
    visited.clear();
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(99), word(SIZE_MAX), nullptr));
    EXPECT_TRUE(visited.empty());

    // A callback may remove the entry it is given.
    twSymLoop(t, [](void *, void *key, void *tab, void *) {
        if (num(key) % 2 == 0)
            twSymRemove(static_cast<twSymTable *>(tab), key);
        return 1;
    }, t, nullptr);
    EXPECT_EQ(4u, twSymSize(t));
    twSymDestroy(t, twSymDummy);
}

TEST(SymTest, TableToArray)
{
    twSymTable *t = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    auto keep = reinterpret_cast<twSymOrderFn>(reinterpret_cast<void (*)(void)>(twDummyProc));
    void **arr = twSymTableToArray(t, nullptr, keep);
    EXPECT_EQ(nullptr, arr[0]);
    twMemFree(arr);

    const char *words[] = {"pear", "apple", "fig", "kiwi", "banana"};
    for (uintptr_t i = 0; i < 5; i++)
        twSymStore(t, words[i], word(i + 1));
    void *buf[6];
    EXPECT_EQ(buf, twSymTableToArray(t, buf, [](const void *a, const void *b) {
        return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
    }));
    EXPECT_EQ((std::vector<void *>{word(2), word(5), word(3), word(4), word(1), nullptr}),
              std::vector<void *>(buf, buf + 6));
    twSymDestroy(t, twSymDummy);
}

TEST(SymTest, StockHashes)
{
    EXPECT_EQ(0u, twSymStHash(""));
    EXPECT_EQ(0u, twSymStHash(nullptr));
    EXPECT_EQ(0u, twSymStIhash(nullptr));
    // Shifts (7 i) mod 16 repeat every 16 bytes; bytes count unsigned.
    static const unsigned shifts[16] = {0, 7, 14, 5, 12, 3, 10, 1, 8, 15, 6, 13, 4, 11, 2, 9};
    std::string s = "0123456789abcdef\xff\x80";
    uint32_t want = 0;
    for (size_t i = 0; i < s.size(); i++)
        want += static_cast<uint32_t>(static_cast<unsigned char>(s[i])) << shifts[i % 16];
    EXPECT_EQ(want, twSymStHash(s.c_str()));

    EXPECT_EQ(twSymStIhash("Abc"), twSymStIhash("aBC"));
    EXPECT_EQ(97u * 255u + 97u, twSymStIhash("AAAAAAAAA")) << "shifts 0..7 repeat";
    EXPECT_EQ(static_cast<uint32_t>(-23), twSymStIhash("\xe9")) << "high bytes count negative";
    EXPECT_EQ(0x89abcdefu, twSymPtrHash(word(static_cast<uintptr_t>(0x1234567889abcdefULL))));
    EXPECT_EQ(0, twSymStEqu("same", nullptr));
}

TEST(SymTest, Dumps)
{
    twSymTable *t = pointerTable(5);
    for (uintptr_t k : {1, 6, 2})
        twSymStore(t, word(k), nullptr);
    testing::internal::CaptureStdout();
    twSymDump(t);
    twSymAnalyze(t, 1);
    twSymStrDump(t);
    EXPECT_EQ("\n1:\t**\n2:\t*\n"
              "0: 3\n1: 2\n"
              "Only tables which use twSymStHash are accepted.\n",
              testing::internal::GetCapturedStdout());
    twSymDestroy(t, twSymDummy);

    t = twSymCreate(1, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymStore(t, "a", nullptr);
    twSymStore(t, "b", nullptr);
    testing::internal::CaptureStdout();
    twSymStrDump(t);
    EXPECT_EQ("\n0:\tb a \n", testing::internal::GetCapturedStdout());
    twSymDestroy(t, twSymDummy);
}

// Live bytes per tag from the usage report (debug mode only).
std::map<std::string, long> usageNow;
std::map<std::string, long> usage()
{
    usageNow.clear();
    twMemPrintUsage([](const char *line) {
        char tag[64];
        long bytes;
        if (sscanf(line, " %63[^:]:%ld", tag, &bytes) == 2)
            usageNow[tag] = bytes;
    });
    return usageNow;
}

// Growth, removal and destruction must give every block back.
TEST(SymMemDebugEnv, TableGivesBackEveryBlock)
{
    twStrFree(twStrCpy("warm")); // the pool sets itself up (and its tables)
    auto before = usage();
    twSymTable *t = twSymCreate(3, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymDynamic(t, 2.0, 2.0);
    char buf[16];
    for (int i = 0; i < 200; i++) {
        snprintf(buf, sizeof buf, "k%d", i);
        twSymStore(t, buf, word(i));
        if (i % 3 == 0)
            twSymRemove(t, buf);
    }
    twMemFree(twSymTableToArray(t, nullptr, nullptr));
    EXPECT_EQ(before["Hash Entry"] + 133 * 24, usage()["Hash Entry"]);
    twSymDestroy(t, twSymDummy);
    auto after = usage();
    for (const char *tag : {"Hash Entry", "Hash Slots", "Hash Table", "Hash Dynamic Info", "twSymArray"})
        EXPECT_EQ(before[tag], after[tag]) << tag;
}

} // namespace
