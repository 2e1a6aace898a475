#include "twlib/containers/list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

struct Rec {
    Rec *next;
    Rec *prev;
    int key;
    int id;
};

// Records with ids 0..n-1 and keys key(id).
std::vector<Rec> makeRecs(int n, int (*key)(int) = [](int) { return 0; })
{
    std::vector<Rec> v(n);
    for (int i = 0; i < n; i++) v[i] = Rec{nullptr, nullptr, key(i), i};
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

// Links the records in vector order, forward links only.
void *chain(std::vector<Rec> &v)
{
    void *list = nullptr;
    for (size_t i = v.size(); i-- > 0;) list = twListSins(&v[i], nullptr, list);
    return list;
}

int byKey(void *a, void *b) { return static_cast<Rec *>(a)->key - static_cast<Rec *>(b)->key; }

TEST(ListTest, InsertDeleteAndWalkKeepLinks)
{
    auto r = makeRecs(5);
    void *list = twListSins(&r[0], nullptr, nullptr);
    list = twListSins(&r[1], twListLast(list), list);
    list = twListSins(&r[2], &r[0], list);
    list = twListSins(&r[3], nullptr, list);
    EXPECT_EQ((std::vector<int>{3, 0, 2, 1}), ids(list));
    EXPECT_EQ(4u, twListSize(list));
    EXPECT_EQ(nullptr, twListPrev(&r[3], list));
    EXPECT_EQ(&r[0], twListPrev(&r[2], list));
    list = twListSdel(&r[2], twListSdel(&r[3], list));  // first, then middle
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list));
    EXPECT_EQ(nullptr, r[3].next);

    // A record outside the list used to make its own successor the list.
    r[4].next = &r[3];
    EXPECT_EQ(list, twListSdel(&r[4], list));
    EXPECT_EQ(&r[3], r[4].next) << "a non-member's own link is left alone";

    r = makeRecs(4);
    list = twListDins(&r[0], nullptr, nullptr);
    list = twListDins(&r[1], &r[0], list);
    list = twListDins(&r[2], nullptr, list);
    list = twListDins(&r[3], &r[2], list);
    EXPECT_EQ((std::vector<int>{2, 3, 0, 1}), ids(list, true));
    list = twListDdel(&r[2], twListDdel(&r[3], list));  // middle, then first
    list = twListDdel(&r[3], list);  // detached: no predecessor, yet not the head
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list, true));
    EXPECT_EQ(nullptr, r[2].next);
}

// Ties take the record of the second half, so equal records come out in the
// reverse of their input order, also when odd lengths split unevenly.
TEST(ListTest, SortReversesEqualRecords)
{
    auto r = makeRecs(3);
    EXPECT_EQ((std::vector<int>{2, 1, 0}), ids(twListSsort(chain(r), byKey)));
    EXPECT_EQ(nullptr, twListSsort(nullptr, byKey));
    auto v = makeRecs(7, [](int i) { return i % 2; });
    EXPECT_EQ((std::vector<int>{6, 4, 2, 0, 5, 3, 1}), ids(twListSsort(chain(v), byKey)));
}

// The converter sorts lists of hundreds of thousands of records, so the
// sort must not recurse once per record.
TEST(ListTest, DsortSortsALargeListAndSetsBackLinks)
{
    const int n = 200000;
    auto key = [](int i) { return i * 7919 % 1000; };
    auto v = makeRecs(n, key);
    std::vector<int> want(n);
    std::iota(want.begin(), want.end(), 0);
    std::sort(want.begin(), want.end(),
              [&](int a, int b) { return key(a) != key(b) ? key(a) < key(b) : a > b; });
    EXPECT_TRUE(want == ids(twListDsort(chain(v), byKey), true)) << "out of order or a wrong back link";
}

TEST(ListTest, FreeGeneralReadsNextBeforeRelease)
{
    auto v = makeRecs(3);
    static std::vector<int> released;
    EXPECT_EQ(nullptr, twListFreeGeneral(chain(v), [](void *rec) {
                  released.push_back(static_cast<Rec *>(rec)->id);
                  static_cast<Rec *>(rec)->next = nullptr;  // a release may reuse the record's words
              }));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), released);
}

} // namespace
