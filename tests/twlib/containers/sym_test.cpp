/* sym_test.cpp - tests of the twSym hash table and its stock callbacks.
 *
 * SymMemDebugEnv runs under TW_MEMDBG through sym_test.cmake.
 */
#include "twlib/containers/sym.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"
#include "support/oom_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "support/child.h"

namespace {

void *word(uintptr_t n)
{
    return reinterpret_cast<void *>(n);
}
uintptr_t num(const void *p)
{
    return reinterpret_cast<uintptr_t>(p);
}

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
    auto firstKey = [](void *, void *key, void *out, void *) {
        *static_cast<void **>(out) = key;
        return 0;
    };
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

// Entries per slot as twSymDump shows them ("\n<slot>:\t" and a "*" each).
std::vector<std::pair<uint32_t, int>> dumpedChains(const twSymTable *t)
{
    testing::internal::CaptureStdout();
    twSymDump(t);
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<std::pair<uint32_t, int>> chains;
    for (size_t at = out.find('\n'); at != std::string::npos && at + 1 < out.size();
         at = out.find('\n', at + 1)) {
        size_t tab = out.find('\t', at);
        size_t end = std::min(out.find('\n', at + 1), out.size());
        chains.emplace_back(std::stoul(out.substr(at + 1, tab - at - 2)), static_cast<int>(end - tab - 1));
    }
    return chains;
}

// A key lies in chain hash mod slotCount, for hashes up to the top of the
// 32-bit range and for slot counts that are 1, powers of two and primes,
// after a store and after a resize.
TEST(SymTest, KeysLieInChainHashModSlotCount)
{
    const uint32_t hashes[] = {0,           1,           2,           6,           7,
                               400,         401,         65535,       65536,       100002,
                               0x7fffffffu, 0x80000000u, 0xdeadbeefu, 0xfffffffeu, 0xffffffffu};
    const uint32_t counts[] = {1, 2, 3, 7, 64, 401, 65536, 100003, 1u << 20};
    for (uint32_t count : counts) {
        twSymTable *t = pointerTable(count == 1 ? 2 : 1);
        for (uint32_t h : hashes) twSymStore(t, word(h), word(1));
        twSymResize(t, count);
        for (int round = 0; round < 2; round++) {
            std::map<uint32_t, int> perSlot;
            for (uint32_t h : hashes) perSlot[h % count]++;
            std::vector<std::pair<uint32_t, int>> want(perSlot.begin(), perSlot.end());
            EXPECT_EQ(want, dumpedChains(t)) << count << " slots, " << (round ? "stored after" : "resized");
            for (uint32_t h : hashes) ASSERT_EQ(word(1), twSymRemove(t, word(h)));
            for (uint32_t h : hashes) twSymStore(t, word(h), word(1));
        }
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
void recordFree(void *value)
{
    freedValues.push_back(num(value));
}

// Moving used to hand the destination's not-found value to the releaser for
// every new key; only a value really displaced in the destination goes there.
TEST(SymTest, MoveAndCopyReleaseOnlyDisplacedValues)
{
    twSymTable *src = pointerTable(5), *dst = pointerTable(3);
    twSymNotFoundValue(dst, word(99));
    twSymStore(src, word(1), word(10));
    twSymStore(src, word(2), word(20));
    twSymStore(dst, word(2), word(200));
    EXPECT_EQ(0, twSymCopyAll(
                     dst, src, [](void *v) { return word(num(v) + 1); }, recordFree));
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

// Identifier-like keys of mixed length, as option and menu names are.
std::vector<std::string> identifierKeys(int n)
{
    static const char *const stems[] = {"menu",       "entry", "zr_window",    "opt",
                                        "tcFac_item", "a",     "path_to_file", "x"};
    std::vector<std::string> keys;
    for (int i = 0; i < n; i++) keys.push_back(stems[i % 8] + ("_" + std::to_string(i)));
    return keys;
}

// The strong hash reads words and overlapping tails: every byte of every
// length must count, wherever the text lies, and nothing past the NUL may
// be read (each text below is its own exact-size block, so ASan sees an
// over-read).
TEST(SymTest, StrongHashSpreadsKeysOverAllBitsAndCountsEveryByte)
{
    EXPECT_EQ(0u, twSymStrongHash(nullptr));

    auto keys = identifierKeys(100000);
    std::vector<uint32_t> h;
    int bitCounts[32] = {};
    for (const auto &k : keys) {
        h.push_back(twSymStrongHash(k.c_str()));
        for (int b = 0; b < 32; b++) bitCounts[b] += (h.back() >> b) & 1;
    }
    std::sort(h.begin(), h.end());
    EXPECT_GT(std::unique(h.begin(), h.end()) - h.begin(), 99000);
    for (int b = 0; b < 32; b++)
        EXPECT_NEAR(50000, bitCounts[b], 1500) << "bit " << b << " is not set in about half the values";

    const char *text = "The quick brown fox jumps over the lazy dog, twice.";
    const size_t textLen = std::strlen(text);
    std::vector<uint32_t> seen;
    for (size_t len = 0; len <= textLen; len++) {
        char *base = strndup(text, len);
        uint32_t want = twSymStrongHash(base);
        seen.push_back(want);
        // The same text at every alignment hashes the same.
        for (size_t offset = 1; offset < 8; offset++) {
            char *moved = static_cast<char *>(malloc(offset + len + 1));
            std::memcpy(moved + offset, base, len + 1);
            EXPECT_EQ(want, twSymStrongHash(moved + offset)) << "length " << len << ", offset " << offset;
            free(moved);
        }
        // Changing any one byte changes the value.
        for (size_t i = 0; i < len; i++) {
            char *changed = strdup(base);
            changed[i] ^= 0x01;
            EXPECT_NE(want, twSymStrongHash(changed)) << "byte " << i << " of " << len << " is ignored";
            free(changed);
        }
        free(base);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.end(), std::unique(seen.begin(), seen.end())) << "two prefixes of the text hash the same";
}

// Every call works on a table hashed by the strong hash, through growth.
TEST(SymTest, StrongHashTableStoresFetchesRemovesAndDumps)
{
    auto keys = identifierKeys(5000);
    twSymTable *t = twSymCreate(13, twSymStrongHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymDynamic(t, 2.0, 2.0);
    twSymNotFoundValue(t, word(0xdead));
    for (size_t i = 0; i < keys.size(); i++) EXPECT_EQ(word(0xdead), twSymStore(t, keys[i].c_str(), word(i)));
    EXPECT_EQ(word(7), twSymStore(t, keys[7].c_str(), word(70)));
    EXPECT_EQ(keys.size(), twSymSize(t));
    EXPECT_GT(slotCount(t), keys.size() / 3) << "the table grew";
    for (size_t i = 0; i < keys.size(); i += 2) ASSERT_EQ(word(i), twSymRemove(t, keys[i].c_str()));
    for (size_t i = 0; i < keys.size(); i++) {
        // A probe that is an equal text at another address finds the entry.
        std::string probe = keys[i];
        uintptr_t want = i % 2 == 0 ? 0xdead : i == 7 ? 70 : i;
        ASSERT_EQ(word(want), twSymFetch(t, probe.c_str())) << probe;
    }
    EXPECT_EQ(keys.size() / 2, twSymSize(t));
    EXPECT_EQ(word(0xdead), twSymFetch(t, "absent"));
    EXPECT_EQ(word(0xdead), twSymFetch(t, ""));

    // Rehashed into a few slots and copied into a stock-hashed table, every
    // key is still found.
    twSymResize(t, 7);
    twSymTable *stock = twSymCreate(11, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymCopyAll(stock, t, nullptr, twSymDummy);
    for (size_t i = 1; i < keys.size(); i += 2) {
        ASSERT_EQ(twSymFetch(stock, keys[i].c_str()), twSymFetch(t, keys[i].c_str())) << keys[i];
        ASSERT_NE(nullptr, twSymFetchAddr(t, keys[i].c_str())) << keys[i];
    }
    twSymDestroy(stock, twSymDummy);

    twSymClear(t, twSymDummy);
    twSymStore(t, "only", word(1));
    testing::internal::CaptureStdout();
    twSymStrDump(t);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStdout().find("only "))
        << "string keys are dumped";
    twSymDestroy(t, twSymDummy);
}

// A prefetch hint hashes its key once and changes nothing, whether the key
// is present, absent or null, and also in a table that has no slot yet.
int hashCalls = 0;
uint32_t countingHash(const void *key)
{
    hashCalls++;
    return twSymStrongHash(key);
}

TEST(SymTest, PrefetchHashesOnceAndChangesNothing)
{
    twSymTable *t = twSymCreate(0, countingHash, twSymStEqu, twSymStCpy, twSymStFree);
    twSymPrefetch(t, "a");
    EXPECT_EQ(0, hashCalls) << "no slot to load";
    twSymStore(t, "a", word(1));
    hashCalls = 0;
    for (const char *key : {"a", "b", "", static_cast<const char *>(nullptr)}) twSymPrefetch(t, key);
    EXPECT_EQ(4, hashCalls);
    EXPECT_EQ(1u, twSymSize(t));
    EXPECT_EQ(word(1), twSymFetch(t, "a"));
    EXPECT_EQ(nullptr, twSymFetch(t, "b"));
    twSymDestroy(t, twSymDummy);
}

// A loop callback may remove its own entry and store new keys, also when
// the stores make the table grow under the walk.
TEST(SymTest, LoopCallbackRemovesItsOwnEntryAndStores)
{
    twSymTable *t = pointerTable(3);
    twSymDynamic(t, 2.0, 2.0);
    for (uintptr_t k = 1; k <= 12; k++) twSymStore(t, word(k), word(k));
    static std::vector<uintptr_t> seen;
    seen.clear();
    EXPECT_EQ(1, twSymLoop(
                     t,
                     [](void *, void *key, void *table, void *) {
                         auto *tt = static_cast<twSymTable *>(table);
                         seen.push_back(num(key));
                         if (num(key) % 2) twSymRemove(tt, key);
                         if (num(key) < 1000) twSymStore(tt, word(num(key) + 1000), key);
                         return 1;
                     },
                     t, nullptr));
    for (uintptr_t k : seen) {
        if (k < 1000 && k % 2) {
            EXPECT_EQ(nullptr, twSymFetchAddr(t, word(k))) << k;
        }
    }
    for (uintptr_t k = 1; k <= 12; k++) EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), k)) << k;
    uint32_t walked = 0;
    twSymLoop(
        t, [](void *, void *, void *n, void *) { return ++*static_cast<uint32_t *>(n), 1; }, &walked,
        nullptr);
    EXPECT_EQ(twSymSize(t), walked);
    twSymDestroy(t, twSymDummy);
}

// A callback that raises (a non-local jump) once its countdown runs out.
jmp_buf raiseTo;
int raiseAfter = -1;
void countDown()
{
    if (raiseAfter >= 0 && raiseAfter-- == 0) longjmp(raiseTo, 1);
}
void raisingKeyFree(void *key)
{
    countingFree(key);
    countDown();
}
void raisingValueFree(void *)
{
    countDown();
}
void raisingValueFreeAt(void **)
{
    countDown();
}

// True when op raised; no frame between here and the callback holds
// anything with a destructor.
bool raises(void (*op)(twSymTable *, twSymTable *), twSymTable *a, twSymTable *b, int after)
{
    raiseAfter = after;
    if (setjmp(raiseTo)) return true;
    op(a, b);
    raiseAfter = -1;
    return false;
}

// An overwrite whose freeKey raised used to leave the entry holding the
// released key; a move whose freeValue raised lost the source's entry and
// its kept key.
TEST(SymTest, CallbacksThatRaiseLeaveTheTableWhole)
{
    keyCopies = keyFrees = 0;
    twSymTable *t = twSymCreate(5, twSymStHash, twSymStEqu, countingCopy, raisingKeyFree);
    twSymStore(t, "a", word(1));
    EXPECT_TRUE(raises([](twSymTable *tt, twSymTable *) { twSymStore(tt, "a", word(9)); }, t, nullptr, 0));
    EXPECT_EQ(word(9), twSymFetch(t, "a")) << "the entry got the new key and value";
    twSymDestroy(t, twSymDummy);

    twSymTable *src = twSymCreate(5, twSymStHash, twSymStEqu, countingCopy, countingFree);
    twSymTable *dst = twSymCreate(3, twSymStHash, twSymStEqu, countingCopy, countingFree);
    const char *keys[] = {"a", "b", "c", "d", "e", "f"};
    for (uintptr_t i = 0; i < 6; i++) twSymStore(src, keys[i], word(i + 1));
    for (uintptr_t i = 0; i < 6; i += 2) twSymStore(dst, keys[i], word(100 + i));
    EXPECT_TRUE(
        raises([](twSymTable *d, twSymTable *s) { twSymMoveAll(d, s, raisingValueFree); }, dst, src, 0));
    EXPECT_LT(twSymSize(src), 6u);
    for (uintptr_t i = 0; i < 6; i++)
        EXPECT_TRUE(twSymFetch(src, keys[i]) == word(i + 1) || twSymFetch(dst, keys[i]) == word(i + 1))
            << keys[i] << " is in one table or the other";
    twSymMoveAll(dst, src, twSymDummy);
    EXPECT_EQ(6u, twSymSize(dst));

    EXPECT_TRUE(
        raises([](twSymTable *d, twSymTable *) { twSymClearAddr(d, raisingValueFreeAt); }, dst, nullptr, 1));
    EXPECT_EQ(4u, twSymSize(dst));
    twSymDestroy(src, twSymDummy);
    twSymDestroy(dst, twSymDummy);
    EXPECT_EQ(keyCopies, keyFrees) << "every kept key released once";
}

// A string-keyed self-growing table through stores, overwrites, removals,
// copies, moves, an ordered array and destruction.
TEST(SymTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    auto work = [] {
        twSymTable *t = twSymCreate(5, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
        twSymTable *other = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
        twSymDynamic(t, 2.0, 2.0);
        twSymDynamic(other, 2.0, 2.0);
        char key[32];
        for (uintptr_t i = 0; i < 300; i++) {
            snprintf(key, sizeof key, "key number %lu", static_cast<unsigned long>(i % 250));
            twSymStore(t, key, word(i));
            if (i % 7 == 0) twSymRemove(t, key);
        }
        twSymCopyAll(other, t, nullptr, twSymDummy);
        twSymMoveAll(other, t, twSymDummy);
        void **values = twSymTableToArray(other, nullptr, [](const void *a, const void *b) {
            return std::strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
        });
        uintptr_t sum = 0;
        for (void **v = values; *v; v++) sum += num(*v);
        printf("%u %u %lu %lu\n", twSymSize(t), twSymSize(other), static_cast<unsigned long>(sum),
               static_cast<unsigned long>(num(values[0])));
        twMemFree(values);
        twSymDestroy(t, twSymDummy);
        twSymDestroy(other, twSymDummy);
    };
    std::string clean;
    long made = twtest::sweepAllocationFailures(work, [&](const twtest::ForkResult &r) {
        if (clean.empty()) clean = r.out;
        EXPECT_EQ(clean, r.out);
    });
    EXPECT_GT(made, 0);
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

// Under memory checking entries are tagged blocks: a value release that
// raised out of twSymClearAddr used to leave its entry behind.
TEST(SymMemDebugEnv, RaisingValueReleaseLosesNoEntry)
{
    twStrFree(twStrCpy("warm"));
    auto before = tableUsage();
    twSymTable *t = pointerTable(3);
    for (uintptr_t k = 1; k <= 6; k++) twSymStore(t, word(k), word(k));
    EXPECT_TRUE(
        raises([](twSymTable *tt, twSymTable *) { twSymClearAddr(tt, raisingValueFreeAt); }, t, nullptr, 2));
    EXPECT_EQ(3u, twSymSize(t));
    twSymDestroy(t, twSymDummy);
    EXPECT_EQ(before, tableUsage());
}

// Suites that run in processes of their own.
TW_ENV_SUITE(SymMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
