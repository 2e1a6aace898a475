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
#include <utility>
#include <vector>
#include "support/child.h"

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
    return std::stoul(testing::internal::GetCapturedStdout().substr(3));
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

TEST(SymTest, StoreFetchRemoveAndNotFoundValueReleaseEachKeptKeyOnce)
{
    twSymTable *t = twSymCreate(1, twSymStHash, twSymStEqu, countingCopy, countingFree);  // one chain
    twSymNotFoundValue(t, word(0xdead));
    EXPECT_EQ(word(0xdead), twSymStore(t, "alpha", word(1)));
    EXPECT_EQ(word(0xdead), twSymFetch(t, "beta"));  // same chain, absent
    EXPECT_EQ(word(0xdead), twSymRemove(t, "beta"));
    EXPECT_EQ(nullptr, twSymFetchAddr(t, "beta"));
    twSymStore(t, "beta", word(0xdead));  // told apart from absence by address
    ASSERT_NE(nullptr, twSymFetchAddr(t, "beta"));
    *twSymFetchAddr(t, "beta") = word(20);
    EXPECT_EQ(word(1), twSymStore(t, "alpha", word(2)));
    EXPECT_EQ(2u, twSymSize(t));
    EXPECT_EQ(std::pair(3, 1), std::pair(keyCopies, keyFrees)) << "an overwrite releases the old key once";

    // Storing under the kept key itself (as a loop callback might) used to
    // copy the key after releasing it. The first key visited is the newest.
    void *kept = nullptr;
    auto firstKey = [](void *, void *key, void *out, void *) { *static_cast<void **>(out) = key; return 0; };
    twSymLoop(t, firstKey, &kept, nullptr);
    EXPECT_EQ(word(20), twSymStore(t, kept, word(3)));
    EXPECT_EQ(word(2), twSymRemove(t, "alpha"));
    EXPECT_EQ(word(3), twSymFetch(t, "beta"));
    EXPECT_EQ(1u, twSymSize(t));
    twSymClear(t, twSymDummy);
    EXPECT_EQ(0u, twSymSize(t));
    twSymStore(t, "delta", word(6));  // a cleared table stays usable
    twSymDestroy(t, twSymDummy);
    EXPECT_EQ(keyCopies, keyFrees) << "removal, clearing and destruction release the kept keys";
}

// 2 x 401 entries fit; the 803rd makes 2 * 803 = 1606, odd 1607, prime. A
// table with no slots used to divide by zero on its first store; from one
// slot: 3 -> 7, 15 -> 31, 63 -> 127, 255 -> 511 = 7 * 73 -> 521.
TEST(SymTest, DynamicTableGrowsToPrimes)
{
    using Growth = std::vector<std::pair<uintptr_t, uint32_t>>;  // (entries, slots) after each change
    const std::pair<uintptr_t, Growth> cases[] = {
        {803, {{0, 401}, {803, 1607}}}, {300, {{0, 0}, {1, 1}, {3, 7}, {15, 31}, {63, 127}, {255, 521}}}};
    for (const auto &[entries, want] : cases) {
        twSymTable *t = pointerTable(want[0].second);
        EXPECT_EQ(nullptr, twSymFetch(t, word(1)));
        twSymDynamic(t, 2.0, 2.0);
        Growth growth{{0, slotCount(t)}};
        for (uintptr_t k = 1; k <= entries; k++) {
            twSymStore(t, word(k), word(k));
            if (slotCount(t) != growth.back().second) growth.emplace_back(k, slotCount(t));
        }
        EXPECT_EQ(want, growth);
        for (uintptr_t k = 1; k <= entries; k++) ASSERT_EQ(word(k), twSymFetch(t, word(k))) << k;
        twSymDestroy(t, twSymDummy);
    }
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
    for (uintptr_t k = 1; k <= 8; k++) twSymStore(t, word(k), word(k));
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(99), word(SIZE_MAX), nullptr));
    EXPECT_EQ(1, twSymLoop(t, visit, word(SIZE_MAX), nullptr));
    const std::vector<uintptr_t> all{6, 3, 7, 4, 1, 8, 5, 2};  // newest first per chain
    EXPECT_EQ(all, visited) << "an empty table and an unknown resume key visit nothing";

    visited.clear();
    EXPECT_EQ(0, twSymLoop(t, visit, word(3), nullptr));
    EXPECT_EQ(1, twSymLoopResume(t, visit, word(visited.back()), word(SIZE_MAX), nullptr));
    EXPECT_EQ(all, visited) << "an interrupted walk continues after its last key";
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
    EXPECT_EQ(0, twSymMoveAll(dst, src, recordFree));
    EXPECT_EQ(0u, twSymSize(src));
    EXPECT_EQ(20u, num(twSymFetch(dst, word(2))));
    EXPECT_EQ((std::vector<uintptr_t>{200, 11, 21}), freedValues) << "the move displaces both copies";
    twSymDestroy(src, twSymDummy);
    twSymDestroy(dst, twSymDummy);
}

TEST(SymTest, TableToArrayIsNullTerminatedAndOrderedByKey)
{
    twSymTable *t = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    auto keep = reinterpret_cast<twSymOrderFn>(reinterpret_cast<void (*)(void)>(twDummyProc));
    void *buf[6] = {word(1)};
    EXPECT_EQ(nullptr, twSymTableToArray(t, buf, keep)[0]) << "an empty table gives only the terminator";

    const char *words[] = {"pear", "apple", "fig", "kiwi", "banana"};
    for (uintptr_t i = 0; i < 5; i++) twSymStore(t, words[i], word(i + 1));
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
    for (auto hash : {twSymStHash, twSymStIhash}) EXPECT_EQ(0u, hash(nullptr));
    // Bytes count unsigned, shifted by (7 i) mod 16: 0, 7, 14, 5, ... and 0
    // again at byte 16.
    EXPECT_EQ(4062761u, twSymStHash("0123456789abcdef\xff\x80"));

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

// Suites that run in processes of their own.
TW_ENV_SUITE(SymMemDebugEnv, MemDebug, "TW_MEMDBG=1");

} // namespace
