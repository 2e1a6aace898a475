/* sym_test.cpp - tests of the twSym hash table and its stock callbacks.
 *
 * SymMemDebugEnv runs under TW_MEMDBG through sym_test.cmake.
 */
#include "twlib/containers/sym.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
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

TEST(SymTest, FetchStoreRemoveAndNotFoundValue)
{
    twSymTable *t = pointerTable(7);
    twSymNotFoundValue(t, word(0xdead));
    EXPECT_EQ(word(0xdead), twSymStore(t, word(1), word(10)));
    EXPECT_EQ(word(0xdead), twSymFetch(t, word(8)));  // same chain, absent
    EXPECT_EQ(word(0xdead), twSymRemove(t, word(8)));
    EXPECT_EQ(nullptr, twSymFetchAddr(t, word(8)));

    twSymStore(t, word(8), word(0xdead));  // told apart from absence by address
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

    // Storing under the kept key itself (as a loop callback might) used to
    // copy the key after releasing it.
    void *kept = nullptr;
    twSymLoop(t, [](void *, void *key, void *out, void *) {
        *static_cast<void **>(out) = key;
        return 1;
    }, &kept, nullptr);
    EXPECT_EQ(word(2), twSymStore(t, kept, word(3)));
    EXPECT_EQ(word(3), twSymFetch(t, "alpha"));

    twSymStore(t, "beta", word(4));
    twSymRemove(t, "beta");
    twSymStore(t, "gamma", word(5));
    twSymClear(t, twSymDummy);
    EXPECT_EQ(0u, twSymSize(t));
    twSymStore(t, "delta", word(6));  // a cleared table stays usable
    twSymDestroy(t, twSymDummy);
    EXPECT_EQ(keyCopies, keyFrees) << "removal, clearing and destruction release the kept keys";
}

TEST(SymTest, DynamicTableGrowsToPrimes)
{
    // 2 x 401 entries fit; the 803rd makes 2 * 803 = 1606, odd 1607, prime.
    twSymTable *t = pointerTable(401);
    twSymDynamic(t, 2.0, 2.0);
    for (uintptr_t k = 1; k <= 802; k++) twSymStore(t, word(k), word(k));
    EXPECT_EQ(401u, slotCount(t));
    twSymStore(t, word(803), word(803));
    EXPECT_EQ(1607u, slotCount(t));
    for (uintptr_t k = 1; k <= 803; k++) ASSERT_EQ(word(k), twSymFetch(t, word(k))) << k;
    twSymDestroy(t, twSymDummy);

    // A table with no slots used to divide by zero on its first store. From
    // one slot: 3 -> 7, 15 -> 31, 63 -> 127, 255 -> 511 = 7 * 73 -> 521.
    t = pointerTable(0);
    EXPECT_EQ(nullptr, twSymFetch(t, word(1)));
    twSymDynamic(t, 2.0, 2.0);
    std::vector<uint32_t> sizes{slotCount(t)};
    for (uintptr_t k = 1; k <= 300; k++) {
        twSymStore(t, word(k), word(k));
        if (slotCount(t) != sizes.back()) sizes.push_back(slotCount(t));
    }
    EXPECT_EQ((std::vector<uint32_t>{0, 1, 7, 31, 127, 521}), sizes);
    twSymDestroy(t, twSymDummy);
}

std::vector<uintptr_t> visited;
int visit(void *, void *key, void *stopAfter, void *)
{
    visited.push_back(num(key));
    return visited.size() < num(stopAfter);
}

TEST(SymTest, LoopsStopAndResume)
{
    twSymTable *t = pointerTable(3);
    EXPECT_EQ(1, twSymLoop(t, visit, word(SIZE_MAX), nullptr));
    EXPECT_TRUE(visited.empty());
    for (uintptr_t k = 1; k <= 8; k++) twSymStore(t, word(k), word(k));
    EXPECT_EQ(1, twSymLoop(t, visit, word(SIZE_MAX), nullptr));
    const std::vector<uintptr_t> all{6, 3, 7, 4, 1, 8, 5, 2};  // newest first per chain
    EXPECT_EQ(all, visited);

    visited.clear();
    EXPECT_EQ(0, twSymLoop(t, visit, word(3), nullptr));
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(visited.back()), word(SIZE_MAX), nullptr));
    EXPECT_EQ(all, visited) << "an interrupted walk continues after its last key";
    visited.clear();
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(99), word(SIZE_MAX), nullptr));
    EXPECT_TRUE(visited.empty());
    twSymDestroy(t, twSymDummy);
}

std::vector<uintptr_t> freedValues;
void recordFree(void *value) { freedValues.push_back(num(value)); }

// Moving used to hand the destination's not-found value to the releaser for
// every new key; only a value really displaced in the destination goes there.
TEST(SymTest, MoveAndCopyReleaseOnlyDisplacedValues)
{
    twSymTable *src = pointerTable(5), *dst = pointerTable(3);
    twSymNotFoundValue(dst, word(99));
    twSymStore(src, word(1), word(10));
    twSymStore(src, word(2), word(20));
    twSymStore(dst, word(2), word(200));
    EXPECT_EQ(0, twSymCopyAll(dst, src, [](void *v) { return word(num(v) + 1); }, recordFree));
    EXPECT_EQ(std::vector<uintptr_t>{200}, freedValues);
    EXPECT_EQ(2u, twSymSize(src)) << "copying leaves the source alone";
    EXPECT_EQ(21u, num(twSymFetch(dst, word(2))));
    freedValues.clear();
    EXPECT_EQ(0, twSymMoveAll(dst, src, recordFree));
    EXPECT_EQ(0u, twSymSize(src));
    EXPECT_EQ(20u, num(twSymFetch(dst, word(2))));
    EXPECT_EQ(2u, freedValues.size()) << "both copies displaced by the move are released";
    twSymDestroy(src, twSymDummy);
    twSymDestroy(dst, twSymDummy);
}

TEST(SymTest, TableToArrayIsNullTerminatedAndOrderedByKey)
{
    twSymTable *t = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    auto keep = reinterpret_cast<twSymOrderFn>(reinterpret_cast<void (*)(void)>(twDummyProc));
    void **arr = twSymTableToArray(t, nullptr, keep);
    EXPECT_EQ(nullptr, arr[0]);
    twMemFree(arr);

    const char *words[] = {"pear", "apple", "fig", "kiwi", "banana"};
    for (uintptr_t i = 0; i < 5; i++) twSymStore(t, words[i], word(i + 1));
    void *buf[6];
    EXPECT_EQ(buf, twSymTableToArray(t, buf, [](const void *a, const void *b) {
        return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
    }));
    EXPECT_EQ((std::vector<void *>{word(2), word(5), word(3), word(4), word(1), nullptr}),
              std::vector<void *>(buf, buf + 6));
    twSymDestroy(t, twSymDummy);
}

TEST(SymTest, StringHashesSumShiftedBytesAndIhashIgnoresCase)
{
    EXPECT_EQ(0u, twSymStHash(""));
    EXPECT_EQ(0u, twSymStHash(nullptr));
    EXPECT_EQ(0u, twSymStIhash(nullptr));
    // Shifts (7 i) mod 16 repeat every 16 bytes; bytes count unsigned.
    const std::string s = "0123456789abcdef\xff\x80";
    uint32_t want = 0;
    for (size_t i = 0; i < s.size(); i++)
        want += static_cast<uint32_t>(static_cast<unsigned char>(s[i])) << (7 * i % 16);
    EXPECT_EQ(want, twSymStHash(s.c_str()));

    EXPECT_EQ(twSymStIhash("Abc"), twSymStIhash("aBC"));
    EXPECT_EQ(97u * 255u + 97u, twSymStIhash("AAAAAAAAA")) << "shifts 0..7 repeat";
    EXPECT_EQ(static_cast<uint32_t>(-23), twSymStIhash("\xe9")) << "high bytes count negative";
    EXPECT_EQ(0, twSymStEqu("same", nullptr));
}

// Tag and live bytes of the usage lines of the tables' own tags (the
// string pool keeps what it is given back).
std::vector<std::string> tableUsage()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) {
        if (strstr(line, "Hash ") || strstr(line, "twSymArray")) lines.emplace_back(line, 28);
    });
    return lines;
}

// Growth, removal and destruction must give every block back.
TEST(SymMemDebugEnv, TableGivesBackEveryBlock)
{
    twStrFree(twStrCpy("warm"));  // the pool sets itself up (and its tables)
    auto before = tableUsage();
    twSymTable *t = twSymCreate(3, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymDynamic(t, 2.0, 2.0);
    for (int i = 0; i < 200; i++) {
        std::string key = "k" + std::to_string(i);
        twSymStore(t, key.c_str(), word(i));
        if (i % 3 == 0) twSymRemove(t, key.c_str());
    }
    twMemFree(twSymTableToArray(t, nullptr, nullptr));
    twSymDestroy(t, twSymDummy);
    EXPECT_EQ(before, tableUsage());
}

} // namespace
