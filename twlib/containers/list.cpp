/* list.cpp - intrusive singly and doubly linked record lists.
 *
 * The caller's record carries the links in its leading words: word 0 is the
 * next record, word 1 (doubly linked form only) the previous one. A list is
 * the pointer to its first record, so every operation hands back the
 * possibly new head. Nothing here allocates.
 *
 * The sort is a top-down merge sort: recursion only splits the list, so its
 * depth is about log2(n), and each merge is a plain loop over the halves.
 */
#include "twlib/containers/list.h"

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

inline SNode *sn(void *p) { return static_cast<SNode *>(p); }
inline DNode *dn(void *p) { return static_cast<DNode *>(p); }

// Merges two sorted chains. Ties take the right-hand record, which is what
// reverses runs of equal records.
SNode *mergeRuns(SNode *left, SNode *right, twListCmpFn compare)
{
    SNode head{nullptr};
    SNode *tail = &head;
    while (left && right) {
        if (compare(left, right) >= 0) {
            tail->next = right;
            right = right->next;
        } else {
            tail->next = left;
            left = left->next;
        }
        tail = tail->next;
    }
    tail->next = left ? left : right;
    return head.next;
}

SNode *mergeSort(SNode *list, twListCmpFn compare)
{
    if (!list || !list->next)
        return list;
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
    SNode *left = mergeSort(list, compare);
    right = mergeSort(right, compare);
    return mergeRuns(left, right, compare);
}

} // namespace

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
    if (!record || !list)
        return list;
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
    if (succ)
        succ->prev = r;
    if (!a)
        return r;
    a->next = r;
    return list;
}

void *twListDdel(void *record, void *list)
{
    if (!record)
        return list;
    DNode *r = dn(record);
    if (r->next)
        r->next->prev = r->prev;
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
        if (p->next == record)
            return p;
    return nullptr;
}

void *twListLast(void *list)
{
    SNode *p = sn(list);
    if (!p)
        return nullptr;
    while (p->next)
        p = p->next;
    return p;
}

uint32_t twListSize(void *list)
{
    uint32_t n = 0;
    for (SNode *p = sn(list); p; p = p->next)
        n++;
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
        SNode *next = p->next; // the release may reuse the record's words
        release(p);
        p = next;
    }
    return nullptr;
}

void *twListSsort(void *list, twListCmpFn compare)
{
    return mergeSort(sn(list), compare);
}

void *twListDsort(void *list, twListCmpFn compare)
{
    DNode *head = dn(twListSsort(list, compare));
    DNode *prev = nullptr;
    for (DNode *p = head; p; p = p->next) {
        p->prev = prev;
        prev = p;
    }
    return head;
}
