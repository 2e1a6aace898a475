#include "twlib/containers/dlist.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/oom_sweep.h"
#include "twlib/core/mem.h"
#include "twlib/core/mem_testhook.h"

namespace {

void *w(uintptr_t n)
{
    return reinterpret_cast<void *>(n);
}
uintptr_t n(void *v)
{
    return reinterpret_cast<uintptr_t>(v);
}

twDlistList *make(std::initializer_list<uintptr_t> values)
{
    twDlistList *l = twDlistCreate();
    for (uintptr_t v : values) twDlistAddTail(l, w(v));
    return l;
}

// The values head to tail, checked against a tail-to-head walk so that a
// broken back link shows.
std::vector<uintptr_t> values(twDlistList *l)
{
    using Vec = std::vector<uintptr_t>;
    Vec out, back;
    twDlistLoop(
        l,
        [](void *v, void *a) {
            static_cast<Vec *>(a)->push_back(n(v));
            return 1;
        },
        &out);
    twDlistReverseLoop(
        l,
        [](void *v, void *a) {
            static_cast<Vec *>(a)->push_back(n(v));
            return 1;
        },
        &back);
    EXPECT_EQ(out, Vec(back.rbegin(), back.rend())) << "forward and backward links disagree";
    EXPECT_EQ(static_cast<int>(out.size()), twDlistSize(l));
    return out;
}

using V = std::vector<uintptr_t>;

TEST(DlistTest, AddRemoveAndCursorResults)
{
    twDlistList *l = twDlistCreate();
    EXPECT_TRUE(twDlistEmpty(l));
    EXPECT_EQ(nullptr, twDlistRemHead(l));
    EXPECT_EQ(nullptr, twDlistRemTail(l));
    EXPECT_EQ(nullptr, twDlistHead(l));
    EXPECT_EQ(nullptr, twDlistNxtElement(l));
    EXPECT_EQ(nullptr, twDlistPreCell(l));
    EXPECT_EQ(0, twDlistSize(l));
    twDlistInsBefore(l, w(9));
    twDlistInsAfter(l, w(9));
    twDlistDelCurrent(l);
    EXPECT_EQ(0, twDlistSize(l)) << "inserting next to no cursor does nothing";

    twDlistAddTail(l, w(2));
    twDlistAddHead(l, w(1));
    EXPECT_EQ(1u, n(twDlistCurElement(l))) << "a new cell becomes current";
    EXPECT_TRUE(twDlistCurFirst(l));
    EXPECT_FALSE(twDlistCurLast(l));
    twDlistAddTail(l, w(4));
    twDlistInsBefore(l, w(3));
    twDlistInsAfter(l, w(5));
    EXPECT_EQ((V{1, 2, 3, 5, 4}), values(l));
    EXPECT_EQ(5u, n(twDlistCurElement(l)));

    EXPECT_EQ(1u, n(twDlistRemHead(l)));
    EXPECT_EQ(4u, n(twDlistRemTail(l)));
    EXPECT_EQ(1, twDlistDelElement(l, w(3)));
    EXPECT_EQ(0, twDlistDelElement(l, w(3)));
    EXPECT_EQ((V{2, 5}), values(l));

    EXPECT_EQ(2u, n(twDlistHead(l)));
    EXPECT_EQ(5u, n(twDlistNxtElement(l)));
    EXPECT_EQ(nullptr, twDlistNxtElement(l)) << "the end";
    EXPECT_EQ(5u, n(twDlistCurElement(l))) << "the cursor stays on the last cell";
    EXPECT_TRUE(twDlistCurLast(l));
    EXPECT_EQ(2u, n(twDlistPreCell(l)->value));
    EXPECT_EQ(nullptr, twDlistPreCell(l));
    EXPECT_EQ(2u, n(twDlistCurCell(l)->value));

    EXPECT_EQ(1, twDlistSearchFor(l, w(5)));
    EXPECT_EQ(0, twDlistSearchFor(l, w(7)));
    EXPECT_EQ(5u, n(twDlistCurElement(l))) << "a failed search leaves the cursor";
    twDlistMoveCurToHead(l);
    EXPECT_EQ((V{5, 2}), values(l));
    EXPECT_TRUE(twDlistCurFirst(l));
    int key = 2;
    auto byKey = [](void *k, void *v) -> int { return static_cast<int>(n(v)) == *static_cast<int *>(k); };
    EXPECT_EQ(1, twDlistSearchForKey(l, &key, byKey));
    EXPECT_EQ(2u, n(twDlistCurElement(l)));

    twDlistSetCurrent(l, nullptr);
    EXPECT_EQ(5u, n(twDlistNxtElement(l))) << "without cursor a forward step starts at the head";
    twDlistSetCurrent(l, nullptr);
    EXPECT_EQ(2u, n(twDlistPreElement(l))) << "and a backward step at the tail";
    twDlistFreeList(l);
}

// Deleting the current cell moves the cursor behind it in the walking
// direction, so the next step goes on where the walk was.
TEST(DlistTest, DeletingTheCurrentCellKeepsAWalkGoing)
{
    twDlistList *l = make({1, 2, 3});
    twDlistHead(l);
    EXPECT_EQ(2u, n(twDlistNxtElement(l)));
    twDlistDelCurrent(l);
    EXPECT_EQ(1u, n(twDlistCurElement(l)));
    EXPECT_EQ(3u, n(twDlistNxtElement(l)));

    twDlistAddHead(l, w(0));
    twDlistClearList(l);
    EXPECT_EQ(nullptr, twDlistCurElement(l));
    for (uintptr_t v : {1, 2, 3}) twDlistAddTail(l, w(v));
    twDlistTail(l);
    EXPECT_EQ(2u, n(twDlistPreElement(l)));
    twDlistDelCurrent(l);
    EXPECT_EQ(1u, n(twDlistPreElement(l)));

    // The first cell of a forward walk: the cursor rests on the head side.
    twDlistHead(l);
    twDlistNxtCell(l);
    twDlistHead(l);
    twDlistDelCurrent(l);
    EXPECT_EQ(nullptr, twDlistCurElement(l));
    EXPECT_EQ(nullptr, twDlistCurCell(l));
    EXPECT_FALSE(twDlistCurFirst(l));
    twDlistDelCurrent(l);
    EXPECT_EQ(1, twDlistSize(l)) << "no cell is deleted from a sentinel";
    twDlistInsBefore(l, w(7));
    EXPECT_EQ((V{7, 3}), values(l)) << "inserting before the head sentinel puts the cell first";
    twDlistHead(l);
    twDlistDelCurrent(l);
    EXPECT_EQ(3u, n(twDlistNxtElement(l)));

    // The last cell of a backward walk: the cursor rests on the tail side.
    twDlistAddTail(l, w(4));
    twDlistPreElement(l);
    twDlistTail(l);
    twDlistDelCurrent(l);
    EXPECT_EQ(nullptr, twDlistCurElement(l));
    twDlistInsAfter(l, w(8));
    EXPECT_EQ((V{3, 8}), values(l)) << "inserting after the tail sentinel puts the cell last";
    twDlistTail(l);
    twDlistPreElement(l);
    twDlistNxtElement(l);
    twDlistRemTail(l);
    EXPECT_EQ(3u, n(twDlistCurElement(l))) << "removal by RemTail repairs a cursor too";
    twDlistFreeList(l);
}

TEST(DlistTest, WalksStopAtZeroAndMayRemoveTheirOwnCell)
{
    twDlistList *l = make({1, 2, 3, 4});
    EXPECT_EQ(0, twDlistLoop(
                     l, [](void *v, void *) { return n(v) == 3 ? 0 : 1; }, nullptr));
    EXPECT_EQ(0, twDlistReverseLoop(
                     l, [](void *v, void *) { return n(v) == 2 ? 0 : 1; }, nullptr));
    EXPECT_EQ(1, twDlistLoop2(
                     l,
                     [](void *v, void *a, void *) {
                         if (n(v) % 2 == 0) twDlistDelElement(static_cast<twDlistList *>(a), v);
                         return 1;
                     },
                     l, nullptr));
    EXPECT_EQ((V{1, 3}), values(l));
    uintptr_t sum = 0;
    EXPECT_EQ(1, twDlistLoop3(
                     l,
                     [](void *v, void *a, void *b, void *c) {
                         *static_cast<uintptr_t *>(a) += n(v) * n(b) + n(c);
                         return 1;
                     },
                     &sum, w(10), w(1)));
    EXPECT_EQ(42u, sum);
    twDlistFreeList(l);
}

// The moved cell used to stay the cursor of the list it left, so a later
// DelCurrent there unlinked a cell of the other list.
TEST(DlistTest, MovingCellsKeepsBothListsWhole)
{
    twDlistList *a = make({1, 2, 3});
    twDlistList *b = make({10});
    twDlistMovhh(a, b);
    twDlistMovtt(a, b);
    EXPECT_EQ((V{2}), values(a));
    EXPECT_EQ((V{1, 10, 3}), values(b));
    twDlistMovht(b, a);
    twDlistMovth(b, a);
    EXPECT_EQ((V{3, 2, 1}), values(a));
    EXPECT_EQ((V{10}), values(b));

    twDlistHead(a);
    twDlistMovhh(a, b);
    EXPECT_NE(3u, n(twDlistCurElement(a)));
    twDlistDelCurrent(a);
    EXPECT_EQ((V{2, 1}), values(a));
    EXPECT_EQ((V{3, 10}), values(b)) << "the cursor of 'a' must not reach into 'b'";
    twDlistList *none = twDlistCreate();
    twDlistMovhh(none, b);
    twDlistMovtt(a, a);
    EXPECT_EQ((V{2, 1}), values(a)) << "moving within one list does nothing";
    EXPECT_EQ((V{3, 10}), values(b)) << "moving from an empty list does nothing";
    twDlistFreeList(none);

    twDlistList *c = make({4, 5});
    twDlistTail(c);
    twDlistMoveAll(b, c);
    EXPECT_TRUE(twDlistEmpty(c));
    EXPECT_EQ(nullptr, twDlistCurElement(c));
    EXPECT_EQ((V{3, 10, 4, 5}), values(b));
    twDlistMoveAll(b, b);
    twDlistMoveAll(b, c);
    EXPECT_EQ(4, twDlistSize(b));
    twDlistAddTail(c, w(6));
    EXPECT_EQ((V{6}), values(c));
    for (twDlistList *l : {a, b, c}) twDlistFreeList(l);
}

// Equal values come out later-first from every merge; the prev links and
// the tail are rebuilt, and a long list does not recurse per cell.
TEST(DlistTest, SortRebuildsLinksAndKeepsTheCursorCell)
{
    // By tens, so that 11, 12 and 13 compare equal.
    auto ascending = [](void *a, void *b) {
        return static_cast<int>(n(a) / 10) - static_cast<int>(n(b) / 10);
    };
    twDlistList *l = make({30, 10, 20});
    twDlistSearchFor(l, w(10));
    twDlistSort(l, ascending);
    EXPECT_EQ((V{10, 20, 30}), values(l));
    EXPECT_EQ(10u, n(twDlistCurElement(l)));
    EXPECT_EQ(20u, n(twDlistNxtElement(l)));
    twDlistClearList(l);
    for (uintptr_t v : {21, 11, 22, 12, 13}) twDlistAddTail(l, w(v));
    twDlistSort(l, ascending);
    EXPECT_EQ((V{13, 12, 11, 22, 21}), values(l));

    twDlistClearList(l);
    for (uintptr_t i = 0; i < 100000; i++) twDlistAddTail(l, w(((i * 7919) % 1000) * 10 + 10));
    twDlistSort(l, ascending);
    uintptr_t prev = 0;
    int ordered = twDlistLoop(
        l,
        [](void *v, void *p) {
            bool ok = n(v) >= *static_cast<uintptr_t *>(p);
            *static_cast<uintptr_t *>(p) = n(v);
            return ok ? 1 : 0;
        },
        &prev);
    EXPECT_EQ(1, ordered);
    EXPECT_EQ(100000, twDlistSize(l));
    twDlistFreeList(l);
}

TEST(DlistTest, CopyAndArrayConversions)
{
    twDlistList *src = make({5, 0, 7});
    twDlistPreElement(src);
    twDlistList *copy = twDlistCopy(src, [](void *v) { return w(n(v) + 1); });
    EXPECT_EQ((V{6}), values(copy)) << "the walk ends at the first 0 after the first value";
    EXPECT_EQ(6u, n(twDlistCurElement(copy)));
    twDlistCell *stop = twDlistCurCell(src);
    ASSERT_NE(nullptr, stop);
    EXPECT_EQ(0u, n(stop->value)) << "the source's cursor ends on the last cell visited";
    EXPECT_EQ(7u, n(twDlistNxtElement(src)));
    twDlistFreeList(copy);
    twDlistRemHead(src);
    copy = twDlistCopy(src, nullptr);
    EXPECT_EQ((V{0, 7}), values(copy)) << "the first value is copied even when it is 0";
    twDlistFreeList(copy);
    twDlistList *empty = twDlistCreate();
    copy = twDlistCopy(empty, nullptr);
    EXPECT_TRUE(twDlistEmpty(copy));
    twDlistFreeList(copy);

    void **array = twDlistListToArray(empty, nullptr);
    EXPECT_EQ(nullptr, array[0]);
    twMemFree(array);
    twDlistList *l = make({1, 2, 3});
    array = twDlistListToArray(l, nullptr);
    EXPECT_EQ(3u, n(array[2]));
    EXPECT_EQ(nullptr, array[3]);
    void *mine[3] = {w(9), w(9), w(9)};
    twDlistList *one = make({4});
    EXPECT_EQ(mine, twDlistListToArray(one, mine));
    EXPECT_EQ(4u, n(mine[0]));
    EXPECT_EQ(nullptr, mine[1]);
    twDlistFreeList(one);
    EXPECT_EQ(l, twDlistArrayToList(array, l));
    EXPECT_EQ((V{1, 2, 3, 1, 2, 3}), values(l));
    EXPECT_TRUE(twDlistCurLast(l));
    twDlistList *fresh = twDlistArrayToList(array, nullptr);
    EXPECT_EQ((V{1, 2, 3}), values(fresh));
    twMemFree(array);
    for (twDlistList *x : {src, empty, l, fresh}) twDlistFreeList(x);
}

// A signed 16-bit count wrapped past 32767 cells.
TEST(DlistTest, CountsPastSixteenBits)
{
    twDlistList *l = twDlistCreate();
    for (uintptr_t i = 1; i <= 40000; i++) twDlistAddTail(l, w(i));
    EXPECT_EQ(40000, twDlistSize(l));
    void **array = twDlistListToArray(l, nullptr);
    EXPECT_EQ(40000u, n(array[39999]));
    twMemFree(array);
    twDlistFreeList(l);
    twDlistPurge();
}

std::jmp_buf jumpOut;

// A release callback that leaves by a jump (as a raise does) finds the list
// holding exactly the values it has not seen, ready to be released again.
TEST(DlistTest, DestroyCallsEveryValueAndSurvivesAJumpOut)
{
    static std::vector<uintptr_t> seen;
    seen.clear();
    twDlistList *l = make({1, 2, 3, 4});
    twDlistDestroyList(
        l, [](void *v, void *arg) { seen.push_back(n(v) + n(arg)); }, w(100));
    EXPECT_EQ((V{101, 102, 103, 104}), seen);
    twDlistDestroyList(nullptr, nullptr, nullptr);
    twDlistFreeList(nullptr);

    seen.clear();
    l = make({1, 2, 3, 4});
    if (setjmp(jumpOut) == 0) {
        twDlistDestroyList(
            l,
            [](void *v, void *) {
                seen.push_back(n(v));
                if (n(v) == 2) std::longjmp(jumpOut, 1);
            },
            nullptr);
        ADD_FAILURE() << "the callback jumps";
    }
    EXPECT_EQ((V{3, 4}), values(l));
    twDlistDestroyList(
        l, [](void *v, void *) { seen.push_back(n(v)); }, nullptr);
    EXPECT_EQ((V{1, 2, 3, 4}), seen);
}

// Released records and cells are used again before anything new is taken;
// the purge gives them back and the pools are rebuilt afterwards.
TEST(DlistTest, PoolsRecycleRecordsAndSurviveAPurge)
{
    twDlistPurge();
    twDlistList *a = make({1, 2});
    twDlistList *b = make({3});
    twDlistList *c = make({4});
    twDlistFreeList(a);  // becomes the cell pool
    twDlistFreeList(b);  // becomes the list pool
    twDlistFreeList(c);  // a spare in the list pool
    EXPECT_EQ(c, twDlistCreate()) << "a new list comes from the list pool";
    twDlistPurge();
    twDlistPurge();
    twDlistList *d = make({5, 6});
    twDlistFreeList(c);
    twDlistClearList(d);
    twDlistAddTail(d, w(7));
    EXPECT_EQ((V{7}), values(d));
    twDlistFreeList(d);
    twDlistPurge();
}

// Memory is refused at every point of a run that fills, walks, releases and
// recreates lists, with the pools empty, partly filled and purged: each
// cell and record is a platform allocation here, and the purge routine
// runs inside the lists' own allocations.
TEST(DlistFreshEnv, RefusedAllocationsEndCleanly)
{
    long made = twtest::sweepAllocationFailures(
        [] {
            twDlistPurge();
            twDlistList *keep[4];
            for (int round = 0; round < 3; round++) {
                for (auto &l : keep) {
                    l = twDlistCreate();
                    for (uintptr_t i = 1; i <= 5; i++) twDlistAddTail(l, w(i));
                }
                twDlistClearList(keep[0]);
                twDlistAddHead(keep[0], w(9));
                twDlistList *copy = twDlistCopy(keep[1], nullptr);
                twMemFree(twDlistListToArray(copy, nullptr));
                twDlistMoveAll(keep[2], copy);
                twDlistFreeList(copy);
                printf("%d %d ", twDlistSize(keep[0]), twDlistSize(keep[2]));
                for (auto &l : keep) twDlistFreeList(l);
                if (round == 1) twDlistPurge();
            }
            printf("\n");
        },
        [](const twtest::ForkResult &r) { EXPECT_EQ("1 10 1 10 1 10 \n", r.out); });
    EXPECT_GT(made, 0);
}

// Once the pools hold what a piece of work needs, doing it again takes
// nothing from the allocator.
TEST(DlistFreshEnv, SteadyTrafficDoesNotAllocate)
{
    auto work = [] {
        twDlistList *a = make({1, 2, 3, 4, 5, 6});
        twDlistList *b = twDlistCopy(a, nullptr);
        twDlistRemHead(a);
        twDlistAddTail(b, w(7));
        twDlistFreeList(a);
        twDlistFreeList(b);
    };
    work();
    work();
    twMem_TestFailAllocation(0, 0);
    work();
    EXPECT_EQ(0, twMem_TestAllocationCount());
}

// Lines of the usage report for the lists' own tags.
std::vector<std::string> listUsage()
{
    static std::vector<std::string> lines;
    lines.clear();
    twMemPrintUsage([](const char *line) {
        if (strstr(line, "twDlist")) lines.emplace_back(line);
    });
    return lines;
}

TEST(DlistMemDebugEnv, PurgeLeavesNoBlockOfTheLists)
{
    twDlistPurge();
    auto before = listUsage();
    twDlistList *a = make({1, 2, 3});
    twDlistList *b = make({4});
    twDlistList *c = twDlistCopy(a, nullptr);
    twDlistFreeList(a);
    twDlistFreeList(b);
    twDlistDestroyList(c, nullptr, nullptr);
    EXPECT_NE(before, listUsage()) << "the pools keep what they were given";
    twDlistPurge();
    EXPECT_EQ(before, listUsage());
}

TW_ENV_SUITE(DlistFreshEnv, FreeListsOff, "TW_MEMFLDISABLE=1");
TW_ENV_SUITE(DlistMemDebugEnv, MemDebug, "TW_MEMDBG=1");

}  // namespace
