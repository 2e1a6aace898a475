#include "twlib/containers/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rec {
    Rec *next;
    Rec *prev;
    int key;
    int id;
};

std::vector<Rec> makeRecs(int n)
{
    std::vector<Rec> v(n);
    for (int i = 0; i < n; i++)
        v[i] = Rec{nullptr, nullptr, 0, i};
    return v;
}

std::vector<int> ids(void *list)
{
    std::vector<int> out;
    for (Rec *r = static_cast<Rec *>(list); r; r = r->next)
        out.push_back(r->id);
    return out;
}

// Links the records in vector order.
void *chain(std::vector<Rec> &v)
{
    void *list = nullptr;
    for (size_t i = v.size(); i-- > 0;)
        list = twListSins(&v[i], nullptr, list);
    return list;
}

int compares = 0;
int byKey(void *a, void *b)
{
    compares++;
    return static_cast<Rec *>(a)->key - static_cast<Rec *>(b)->key;
}

TEST(ListTest, SinglyInsertDeleteAndWalk)
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
    EXPECT_EQ(nullptr, twListLast(nullptr));
    EXPECT_EQ(0u, twListSize(nullptr));

    list = twListSdel(&r[3], list); // first
    EXPECT_EQ((std::vector<int>{0, 2, 1}), ids(list));
    EXPECT_EQ(nullptr, r[3].next);
    list = twListSdel(&r[2], list); // middle
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list));
    EXPECT_EQ(nullptr, r[2].next);

    // A record outside the list used to make its own successor the list.
    r[4].next = &r[3];
    list = twListSdel(&r[4], list);
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list));
    EXPECT_EQ(&r[3], r[4].next) << "a non-member's own link is left alone";
}

TEST(ListTest, DoublyInsertDeleteKeepBackLinks)
{
    auto r = makeRecs(4);
    void *list = twListDins(&r[0], nullptr, nullptr);
    list = twListDins(&r[1], &r[0], list);
    list = twListDins(&r[2], nullptr, list);
    list = twListDins(&r[3], &r[2], list);
    EXPECT_EQ((std::vector<int>{2, 3, 0, 1}), ids(list));
    auto backLinksOk = [](void *l) {
        Rec *prev = nullptr;
        for (Rec *p = static_cast<Rec *>(l); p; prev = p, p = p->next)
            if (p->prev != prev)
                return false;
        return true;
    };
    EXPECT_TRUE(backLinksOk(list));

    list = twListDdel(&r[3], list); // middle
    list = twListDdel(&r[2], list); // first
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list));
    EXPECT_TRUE(backLinksOk(list));
    EXPECT_EQ(nullptr, r[2].next);
    EXPECT_EQ(nullptr, r[3].prev);

    // A detached record has no predecessor but is not the head.
    list = twListDdel(&r[3], list);
    EXPECT_EQ((std::vector<int>{0, 1}), ids(list));
}

TEST(ListTest, SortReversesEqualRecords)
{
    auto r = makeRecs(3);
    EXPECT_EQ((std::vector<int>{2, 1, 0}), ids(twListSsort(chain(r), byKey)));
    r[0].key = 3;
    r[1].key = 1;
    r[2].key = 2;
    EXPECT_EQ((std::vector<int>{1, 2, 0}), ids(twListSsort(chain(r), byKey)));
    EXPECT_EQ(nullptr, twListSsort(nullptr, byKey));

    // Odd lengths split unevenly; equal keys must still come out reversed.
    auto v = makeRecs(7);
    for (int i = 0; i < 7; i++)
        v[i].key = i % 2;
    EXPECT_EQ((std::vector<int>{6, 4, 2, 0, 5, 3, 1}), ids(twListSsort(chain(v), byKey)));
}

// The converter sorts lists of hundreds of thousands of records: no
// recursion per record, no more than n log n compares.
TEST(ListTest, SortLargeList)
{
    const int n = 200000;
    auto v = makeRecs(n);
    for (int i = 0; i < n; i++)
        v[i].key = (i * 7919) % 1000;
    compares = 0;
    void *list = twListDsort(chain(v), byKey);
    EXPECT_LE(compares, n * 18);
    ASSERT_EQ(static_cast<uint32_t>(n), twListSize(list));
    Rec *prev = nullptr;
    for (Rec *r = static_cast<Rec *>(list); r; prev = r, r = r->next) {
        ASSERT_EQ(prev, r->prev);
        if (prev && (prev->key > r->key || (prev->key == r->key && prev->id < r->id)))
            FAIL() << "out of order at record " << r->id;
    }
}

TEST(ListTest, FreeGeneralReadsNextBeforeRelease)
{
    auto v = makeRecs(3);
    static std::vector<int> released;
    void *rest = twListFreeGeneral(chain(v), [](void *rec) {
        Rec *r = static_cast<Rec *>(rec);
        released.push_back(r->id);
        r->next = nullptr; // a release may reuse the record's words
    });
    EXPECT_EQ(nullptr, rest);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), released);
}

} // namespace
