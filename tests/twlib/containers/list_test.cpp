#include "twlib/containers/list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <utility>
#include <vector>

#include "support/oom_sweep.h"
#include "twlib/core/mem.h"

namespace {

struct Rec {
    Rec *next, *prev;
    int key, id;
};

// Records with ids 0..n-1 and keys key(id), forward linked in id order.
std::vector<Rec> makeRecs(
    int n, int (*key)(int) = [](int) { return 0; })
{
    std::vector<Rec> v(n);
    for (int i = 0; i < n; i++) v[i] = Rec{i + 1 < n ? &v[i + 1] : nullptr, nullptr, key(i), i};
    return v;
}

// The ids in list order; with 'doubly', a wrong back link shows as -1.
std::vector<int> ids(void *list, bool doubly = false)
{
    std::vector<int> out;
    for (Rec *r = static_cast<Rec *>(list), *prev = nullptr; r; prev = r, r = r->next)
        out.push_back(doubly && r->prev != prev ? -1 : r->id);
    return out;
}

int byKey(void *a, void *b)
{
    return static_cast<Rec *>(a)->key - static_cast<Rec *>(b)->key;
}

TEST(ListTest, InsertDeleteAndWalkKeepLinks)
{
    for (bool doubly : {false, true}) {
        auto r = makeRecs(5);
        void *list = nullptr;
        for (auto [rec, after] : {std::pair{0, -1}, {1, 0}, {2, 0}, {3, -1}})
            list = (doubly ? twListDins : twListSins)(&r[rec], after < 0 ? nullptr : &r[after], list);
        EXPECT_EQ((std::vector<int>{3, 0, 2, 1}), ids(list, doubly));
        EXPECT_EQ(4u, twListSize(list));
        EXPECT_EQ(&r[1], twListLast(list));
        EXPECT_EQ(nullptr, twListPrev(&r[3], list));
        EXPECT_EQ(&r[0], twListPrev(&r[2], list));
        auto del = doubly ? twListDdel : twListSdel;
        // Middle, first, then the middle again: detached, no predecessor, yet not the head.
        list = del(&r[2], del(&r[3], del(&r[2], list)));
        EXPECT_EQ((std::vector<int>{0, 1}), ids(list, doubly));
        EXPECT_EQ(nullptr, r[3].next);
        if (doubly) continue;
        // A record outside the list used to make its own successor the list.
        r[4].next = &r[3];
        EXPECT_EQ(list, twListSdel(&r[4], list));
        EXPECT_EQ(&r[3], r[4].next) << "a non-member's own link is left alone";
    }
}

// Ties take the record of the second half, so equal records come out in the
// reverse of their input order, also when odd lengths split unevenly. The
// converter sorts lists of hundreds of thousands of records, so the sort
// must not recurse once per record.
TEST(ListTest, SortsReverseEqualRecordsAndDsortSetsBackLinks)
{
    EXPECT_EQ(nullptr, twListSsort(nullptr, byKey));
    const std::pair<int, int (*)(int)> cases[] = {{3, [](int) { return 0; }},
                                                  {7, [](int i) { return i % 2; }},
                                                  {200000, [](int i) { return i * 7919 % 1000; }}};
    for (bool doubly : {false, true}) {
        for (auto [n, key] : cases) {
            auto v = makeRecs(n, key);
            std::vector<int> want(n);
            std::iota(want.rbegin(), want.rend(), 0);
            std::stable_sort(want.begin(), want.end(), [key = key](int a, int b) { return key(a) < key(b); });
            EXPECT_TRUE(want == ids((doubly ? twListDsort : twListSsort)(v.data(), byKey), doubly))
                << n << " records: out of order or a wrong back link";
        }
    }
}

TEST(ListTest, FreeGeneralReadsNextBeforeRelease)
{
    auto v = makeRecs(3);
    static std::vector<int> released;
    EXPECT_EQ(nullptr, twListFreeGeneral(v.data(), [](void *rec) {
                  released.push_back(static_cast<Rec *>(rec)->id);
                  static_cast<Rec *>(rec)->next = nullptr;  // a release may reuse the record's words
              }));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), released);
}

// The converter's use: tagged records appended, sorted, then released.
TEST(ListTest, RefusedAllocationsEndAsOutOfMemoryOrAreSurvived)
{
    auto work = [] {
        void *list = nullptr, *last = nullptr;
        for (int i = 0; i < 60; i++) {
            auto *r = static_cast<Rec *>(twMemMalloc(sizeof(Rec), "test record"));
            r->key = i * 37 % 60;
            r->id = i;
            list = twListDins(r, last, list);
            last = r;
        }
        list = twListDsort(list, byKey);
        auto *first = static_cast<Rec *>(list), *end = static_cast<Rec *>(twListLast(list));
        printf("%u %d %d %d\n", twListSize(list), first->key, end->key, end->prev->key);
        EXPECT_EQ(nullptr, twListFree(list));
    };
    long made = twtest::sweepAllocationFailures(
        work, [](const twtest::ForkResult &r) { EXPECT_EQ("60 0 59 58\n", r.out); });
    EXPECT_GT(made, 0);
}

}  // namespace
