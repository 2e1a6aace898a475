/* list.cpp - intrusive singly and doubly linked record lists.
 *
 * The caller's record carries the links in its leading words: word 0 is the
 * next record, word 1 (doubly linked form only) the previous one. A list is
 * the pointer to its first record, so every operation hands back the
 * possibly new head. Nothing here allocates.
 *
 * The sort is a top-down merge sort: recursion only splits the list, so its
 * depth is about log2(n), and each merge is a plain loop over the halves.
 * Every record sits in one of a few chains the sort keeps in view, so a
 * raise out of the comparison can hand the caller one whole list back.
 */
#include "twlib/containers/list.h"

#include "twlib/core/fault.h"
#include "twlib/core/mem.h"

#include <cstddef>

namespace {

// The two leading words every record starts with. Records are only ever
// reached through these views; the rest of the record is the caller's.
struct SNode {
    SNode *next;
};

struct DNode {
    DNode *next;
    DNode *prev;
};

inline SNode *sn(void *p)
{
    return static_cast<SNode *>(p);
}
inline DNode *dn(void *p)
{
    return static_cast<DNode *>(p);
}

// Where every record of a sort is while compare runs, so that a raise from
// it can gather them all into one list again. Records are always in exactly
// one of these chains.
constexpr int kMaxDepth = 66;  // splits halve the list, so 64 levels at most
struct SortState {
    SNode *first;            // the caller's first record: first again after a raise
    SNode *held[kMaxDepth];  // by depth: the half kept while the other is sorted
    SNode *merged;           // the merge under way: output so far...
    SNode *mergedTail;       // ...ending here (null when none)
    SNode *left;             // what remains of its two inputs
    SNode *right;
    bool doubly;  // set the previous links too
};

// Merges two sorted chains. Ties take the right-hand record, which is what
// reverses runs of equal records.
SNode *mergeRuns(SortState &st, SNode *left, SNode *right, twListCmpFn compare)
{
    SNode head{nullptr};
    SNode *tail = &head;
    st.left = left;
    st.right = right;
    while (st.left && st.right) {
        if (compare(st.left, st.right) >= 0) {
            tail->next = st.right;
            st.right = st.right->next;
        } else {
            tail->next = st.left;
            st.left = st.left->next;
        }
        tail = tail->next;
        st.merged = head.next;
        st.mergedTail = tail;
    }
    tail->next = st.left ? st.left : st.right;
    st.merged = st.mergedTail = st.left = st.right = nullptr;
    return head.next;
}

SNode *mergeSort(SortState &st, SNode *list, twListCmpFn compare, int depth)
{
    if (!list || !list->next) return list;
    // Slow steps once, fast twice: slow stops on record ceil(n/2), so the
    // left half is the larger one.
    SNode *slow = list;
    SNode *fast = list->next;
    while (fast && fast->next) {
        slow = slow->next;
        fast = fast->next->next;
    }
    SNode *right = slow->next;
    slow->next = nullptr;
    st.held[depth] = right;
    SNode *left = mergeSort(st, list, compare, depth + 1);
    st.held[depth] = left;
    right = mergeSort(st, right, compare, depth + 1);
    st.held[depth] = nullptr;
    return mergeRuns(st, left, right, compare);
}

// Release of a sort that compare left by a raise: one chain again, from the
// caller's first record, in no particular order.
void gatherRecords(void *arg)
{
    auto &st = *static_cast<SortState *>(arg);
    SNode *all = nullptr;
    SNode **end = &all;
    auto add = [&end](SNode *chain) {
        *end = chain;
        while (*end) end = &(*end)->next;
    };
    if (st.mergedTail) {
        st.mergedTail->next = nullptr;
        add(st.merged);
    }
    add(st.left);
    add(st.right);
    for (SNode *chain : st.held) add(chain);
    if (all != st.first) {
        SNode *pred = all;
        while (pred && pred->next != st.first) pred = pred->next;
        if (pred) {
            pred->next = nullptr;
            *end = all;
            all = st.first;
        }
    }
    if (st.doubly) {
        DNode *prev = nullptr;
        for (DNode *p = dn(all); p; p = p->next) {
            p->prev = prev;
            prev = p;
        }
    }
}

SNode *sortChain(SNode *list, twListCmpFn compare, bool doubly)
{
    SortState st{};
    st.first = list;
    st.doubly = doubly;
    twUnwind unwind;
    tw_UnwindPush(&unwind, gatherRecords, &st);
    SNode *head = mergeSort(st, list, compare, 0);
    tw_UnwindPop(&unwind);
    return head;
}

}  // namespace

void *twListSins(void *record, void *after, void *list)
{
    if (!after) {
        sn(record)->next = sn(list);
        return record;
    }
    sn(record)->next = sn(after)->next;
    sn(after)->next = sn(record);
    return list;
}

void *twListSdel(void *record, void *list)
{
    if (!record || !list) return list;
    if (record == list) {
        SNode *rest = sn(record)->next;
        sn(record)->next = nullptr;
        return rest;
    }
    for (SNode *p = sn(list); p->next; p = p->next) {
        if (p->next == record) {
            p->next = sn(record)->next;
            sn(record)->next = nullptr;
            return list;
        }
    }
    // Not a member: the list stays as it was, and so does the record (it
    // may well be linked into some other list).
    return list;
}

void *twListDins(void *record, void *after, void *list)
{
    DNode *r = dn(record);
    DNode *a = dn(after);
    DNode *succ = a ? a->next : dn(list);
    r->next = succ;
    r->prev = a;
    if (succ) succ->prev = r;
    if (!a) return r;
    a->next = r;
    return list;
}

void *twListDdel(void *record, void *list)
{
    if (!record) return list;
    DNode *r = dn(record);
    if (r->next) r->next->prev = r->prev;
    if (r->prev)
        r->prev->next = r->next;
    else if (record == list)
        list = r->next;
    // A record without a predecessor that is not this list's head belongs
    // to no list we were given: the caller's head must survive.
    r->next = nullptr;
    r->prev = nullptr;
    return list;
}

void *twListPrev(void *record, void *list)
{
    for (SNode *p = sn(list); p; p = p->next)
        if (p->next == record) return p;
    return nullptr;
}

void *twListLast(void *list)
{
    SNode *p = sn(list);
    if (!p) return nullptr;
    while (p->next) p = p->next;
    return p;
}

uint32_t twListSize(void *list)
{
    uint32_t n = 0;
    for (SNode *p = sn(list); p; p = p->next) n++;
    return n;
}

void *twListFree(void *list)
{
    SNode *p = sn(list);
    while (p) {
        SNode *next = p->next;
        twMemFree(p);
        p = next;
    }
    return nullptr;
}

void *twListFreeGeneral(void *list, void (*release)(void *record))
{
    SNode *p = sn(list);
    while (p) {
        SNode *next = p->next;  // the release may reuse the record's words
        release(p);
        p = next;
    }
    return nullptr;
}

void *twListSsort(void *list, twListCmpFn compare)
{
    return sortChain(sn(list), compare, false);
}

void *twListDsort(void *list, twListCmpFn compare)
{
    DNode *head = dn(sortChain(sn(list), compare, true));
    DNode *prev = nullptr;
    for (DNode *p = head; p; p = p->next) {
        p->prev = prev;
        prev = p;
    }
    return head;
}
