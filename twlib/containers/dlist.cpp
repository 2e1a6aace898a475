/* dlist.cpp - twDlist, doubly linked lists of one-word values with a cursor.
 *
 * A list record embeds two sentinel cells, so every real cell has both
 * neighbours and linking never tests for the ends. The head sentinel is the
 * first member: a pointer to the list is a pointer to it, and the cursor may
 * rest there (or on the tail sentinel) after a deletion moved it off a
 * real cell.
 *
 * Nothing is freed in normal operation. Removed cells go to the front of the
 * cell pool, itself a list whose cells are the spares; released list records
 * are the values of the list pool's cells. Both pools are plain twDlistList
 * records, found through module statics, and the purge routine hands them
 * back to the free lists. Every allocation here may run that purge routine
 * (an exhausted heap purges before it retries), so no code holds a pointer
 * into a pool across an allocation: it takes what it needs out first and
 * looks at the pools again afterwards.
 */
#include "twlib/containers/dlist.h"

#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"

struct twDlistList {
    twDlistCell head;      // value 0, next = first cell, prev null; must stay first
    twDlistCell tail;      // value 0, next null, prev = last cell
    twDlistCell *current;  // null, a cell, or either sentinel
    // Cells in the chain. The record is private, so the count is kept in 32
    // bits: pools and long lists go past 32767 cells without wrapping.
    int32_t count;
    uint8_t flags;  // kForward: the last cursor step went forward
};

namespace {

constexpr uint8_t kForward = 0x80;

// Spare cells, newest first; created when the first cell is given back.
twDlistList *cellPool;
// Spare list records, one per cell value, oldest first.
twDlistList *listPool;
// twDlistPurge is registered once, with the first cell pool; later pools
// made after a purge reuse the registration.
bool purgeRegistered;

inline twDlistCell *first(twDlistList *l)
{
    return l->head.next;
}
inline twDlistCell *last(twDlistList *l)
{
    return l->tail.prev;
}
inline bool isEmpty(const twDlistList *l)
{
    return l->head.next == &l->tail;
}

inline bool onCell(const twDlistList *l, const twDlistCell *c)
{
    return c && c != &l->head && c != &l->tail;
}

void initList(twDlistList *l)
{
    l->head = {nullptr, &l->tail, nullptr};
    l->tail = {nullptr, nullptr, &l->head};
    l->current = nullptr;
    l->count = 0;
    l->flags = kForward;
}

void linkAfter(twDlistList *l, twDlistCell *pos, twDlistCell *c)
{
    c->prev = pos;
    c->next = pos->next;
    pos->next->prev = c;
    pos->next = c;
    l->count++;
}

// Unlinks a cell, first moving the cursor off it to the neighbour behind it
// in the walking direction.
void unlinkCell(twDlistList *l, twDlistCell *c)
{
    if (l->current == c) l->current = (l->flags & kForward) ? c->prev : c->next;
    c->prev->next = c->next;
    c->next->prev = c->prev;
    c->next = c->prev = nullptr;
    l->count--;
}

void registerPurge()
{
    if (purgeRegistered) return;
    purgeRegistered = true;
    twAddPurgeRoutine(twDlistPurge);
}

// Makes sure there is a cell pool: a spare list record if the list pool
// has one (its pool cell becomes the first spare), else a new record.
void ensureCellPool()
{
    if (cellPool) return;
    registerPurge();
    if (listPool && !isEmpty(listPool)) {
        twDlistCell *c = first(listPool);
        unlinkCell(listPool, c);
        auto *pool = static_cast<twDlistList *>(c->value);
        initList(pool);
        c->value = nullptr;
        linkAfter(pool, &pool->head, c);
        cellPool = pool;
        return;
    }
    auto *pool = static_cast<twDlistList *>(twMemFlAlloc(sizeof(twDlistList), "twDlistList"));
    initList(pool);
    // A purge during the allocation cannot have made a pool, but another
    // module's purge routine might release a list: keep the pool it made.
    if (cellPool) {
        twMemFlFree(pool, sizeof(twDlistList));
        return;
    }
    cellPool = pool;
}

// A cell out of every list: the newest spare, else a new one.
twDlistCell *takeCell()
{
    if (cellPool && !isEmpty(cellPool)) {
        twDlistCell *c = first(cellPool);
        unlinkCell(cellPool, c);
        return c;
    }
    return static_cast<twDlistCell *>(twMemFlAlloc(sizeof(twDlistCell), "twDlistCell"));
}

// Gives an unlinked cell to the front of the cell pool.
void giveCell(twDlistCell *c)
{
    c->value = nullptr;
    ensureCellPool();
    linkAfter(cellPool, &cellPool->head, c);
}

// Moves the whole chain of a non-empty list to the front of 'to', leaving
// the list empty without cursor.
void spliceFront(twDlistList *from, twDlistList *to)
{
    twDlistCell *a = first(from), *z = last(from);
    a->prev = &to->head;
    z->next = to->head.next;
    to->head.next->prev = z;
    to->head.next = a;
    to->count += from->count;
    from->head.next = &from->tail;
    from->tail.prev = &from->head;
    from->count = 0;
    from->current = nullptr;
}

void removeCell(twDlistList *l, twDlistCell *c)
{
    unlinkCell(l, c);
    giveCell(c);
}

void addAfter(twDlistList *l, twDlistCell *pos, void *value)
{
    twDlistCell *c = takeCell();
    c->value = value;
    linkAfter(l, pos, c);
    l->current = c;
}

void moveCell(twDlistList *from, twDlistCell *c, twDlistList *to, bool toFront)
{
    unlinkCell(from, c);
    linkAfter(to, toFront ? &to->head : last(to), c);
}

// Ties take the cell of the second half, which is what reverses runs of
// equal values.
twDlistCell *mergeRuns(twDlistCell *left, twDlistCell *right, twDlistCmpFn compare)
{
    twDlistCell head{nullptr, nullptr, nullptr};
    twDlistCell *tail = &head;
    while (left && right) {
        if (compare(left->value, right->value) >= 0) {
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

twDlistCell *mergeSort(twDlistCell *chain, twDlistCmpFn compare)
{
    if (!chain || !chain->next) return chain;
    // Slow steps once, fast twice: slow stops at the middle, so recursion
    // only splits and stays about log2(n) deep.
    twDlistCell *slow = chain;
    twDlistCell *fast = chain->next;
    while (fast && fast->next) {
        slow = slow->next;
        fast = fast->next->next;
    }
    twDlistCell *right = slow->next;
    slow->next = nullptr;
    twDlistCell *left = mergeSort(chain, compare);
    right = mergeSort(right, compare);
    return mergeRuns(left, right, compare);
}

}  // namespace

/* ------------------------------------------------------------------ */
/* Creation and release                                                */
/* ------------------------------------------------------------------ */

twDlistList *twDlistCreate(void)
{
    if (listPool && !isEmpty(listPool)) {
        twDlistCell *c = first(listPool);
        unlinkCell(listPool, c);
        auto *l = static_cast<twDlistList *>(c->value);
        giveCell(c);
        initList(l);
        return l;
    }
    auto *l = static_cast<twDlistList *>(twMemFlAlloc(sizeof(twDlistList), "twDlistList"));
    initList(l);
    return l;
}

void twDlistClearList(twDlistList *list)
{
    list->current = nullptr;
    if (isEmpty(list)) return;
    ensureCellPool();
    spliceFront(list, cellPool);
}

void twDlistFreeList(twDlistList *list)
{
    if (!list) return;
    list->current = nullptr;
    if (!cellPool) {
        // The first released list becomes the cell pool, cells and all.
        registerPurge();
        if (!cellPool) {
            list->flags = kForward;
            cellPool = list;
            return;
        }
    }
    if (!isEmpty(list)) spliceFront(list, cellPool);
    if (!listPool) {
        list->flags = kForward;
        listPool = list;
        return;
    }
    // The pool cell may have to be allocated, and a purge may then take
    // both pools away: look at them again once the cell is in hand.
    twDlistCell *c = takeCell();
    if (!cellPool) {
        initList(list);
        cellPool = list;
        giveCell(c);
        return;
    }
    if (!listPool) {
        initList(list);
        listPool = list;
        giveCell(c);
        return;
    }
    c->value = list;
    linkAfter(listPool, last(listPool), c);
}

void twDlistDestroyList(twDlistList *list, twDlistFreeFn fn, void *arg)
{
    if (!list) return;
    list->current = nullptr;
    if (fn) {
        while (!isEmpty(list)) {
            twDlistCell *c = first(list);
            void *value = c->value;
            removeCell(list, c);
            fn(value, arg);
        }
    }
    twDlistFreeList(list);
}

int twDlistPurge(void)
{
    if (twDlistList *pool = cellPool) {
        cellPool = nullptr;
        for (twDlistCell *c = first(pool), *next; c != &pool->tail; c = next) {
            next = c->next;
            twMemFlFree(c, sizeof(twDlistCell));
        }
        twMemFlFree(pool, sizeof(twDlistList));
    }
    if (twDlistList *pool = listPool) {
        listPool = nullptr;
        for (twDlistCell *c = first(pool), *next; c != &pool->tail; c = next) {
            next = c->next;
            twMemFlFree(c->value, sizeof(twDlistList));
            twMemFlFree(c, sizeof(twDlistCell));
        }
        twMemFlFree(pool, sizeof(twDlistList));
    }
    return 1;
}

/* ------------------------------------------------------------------ */
/* Adding and removing                                                 */
/* ------------------------------------------------------------------ */

void twDlistAddHead(twDlistList *list, void *value)
{
    addAfter(list, &list->head, value);
}

void twDlistAddTail(twDlistList *list, void *value)
{
    addAfter(list, last(list), value);
}

void twDlistInsBefore(twDlistList *list, void *value)
{
    twDlistCell *cur = list->current;
    if (!cur || isEmpty(list)) return;
    addAfter(list, cur == &list->head ? &list->head : cur->prev, value);
}

void twDlistInsAfter(twDlistList *list, void *value)
{
    twDlistCell *cur = list->current;
    if (!cur || isEmpty(list)) return;
    addAfter(list, cur == &list->tail ? last(list) : cur, value);
}

void *twDlistRemHead(twDlistList *list)
{
    if (isEmpty(list)) return nullptr;
    twDlistCell *c = first(list);
    void *value = c->value;
    removeCell(list, c);
    return value;
}

void *twDlistRemTail(twDlistList *list)
{
    if (isEmpty(list)) return nullptr;
    twDlistCell *c = last(list);
    void *value = c->value;
    removeCell(list, c);
    return value;
}

int twDlistDelElement(twDlistList *list, void *value)
{
    for (twDlistCell *c = first(list); c != &list->tail; c = c->next) {
        if (c->value == value) {
            removeCell(list, c);
            return 1;
        }
    }
    return 0;
}

void twDlistDelCurrent(twDlistList *list)
{
    if (onCell(list, list->current)) removeCell(list, list->current);
}

/* ------------------------------------------------------------------ */
/* Cursor and inspection                                               */
/* ------------------------------------------------------------------ */

void *twDlistHead(twDlistList *list)
{
    if (isEmpty(list)) return nullptr;
    list->current = first(list);
    return list->current->value;
}

void *twDlistTail(twDlistList *list)
{
    if (isEmpty(list)) return nullptr;
    list->current = last(list);
    return list->current->value;
}

twDlistCell *twDlistNxtCell(twDlistList *list)
{
    list->flags |= kForward;
    if (isEmpty(list)) return nullptr;
    twDlistCell *cur = list->current;
    twDlistCell *next = cur ? cur->next : first(list);
    if (!next || next == &list->tail) return nullptr;
    list->current = next;
    return next;
}

twDlistCell *twDlistPreCell(twDlistList *list)
{
    list->flags &= static_cast<uint8_t>(~kForward);
    if (isEmpty(list)) return nullptr;
    twDlistCell *cur = list->current;
    twDlistCell *prev = cur ? cur->prev : last(list);
    if (!prev || prev == &list->head) return nullptr;
    list->current = prev;
    return prev;
}

void *twDlistNxtElement(twDlistList *list)
{
    twDlistCell *c = twDlistNxtCell(list);
    return c ? c->value : nullptr;
}

void *twDlistPreElement(twDlistList *list)
{
    twDlistCell *c = twDlistPreCell(list);
    return c ? c->value : nullptr;
}

void *twDlistCurElement(twDlistList *list)
{
    return onCell(list, list->current) ? list->current->value : nullptr;
}

twDlistCell *twDlistCurCell(twDlistList *list)
{
    return onCell(list, list->current) ? list->current : nullptr;
}

void twDlistSetCurrent(twDlistList *list, twDlistCell *cell)
{
    list->current = cell;
}

int twDlistCurFirst(twDlistList *list)
{
    twDlistCell *cur = list->current;
    return onCell(list, cur) && cur->prev == &list->head;
}

int twDlistCurLast(twDlistList *list)
{
    twDlistCell *cur = list->current;
    return onCell(list, cur) && cur->next == &list->tail;
}

void twDlistMoveCurToHead(twDlistList *list)
{
    twDlistCell *cur = list->current;
    if (!onCell(list, cur) || cur == first(list)) return;
    unlinkCell(list, cur);
    linkAfter(list, &list->head, cur);
    list->current = cur;
}

int twDlistSearchFor(twDlistList *list, void *value)
{
    for (twDlistCell *c = first(list); c != &list->tail; c = c->next) {
        if (c->value == value) {
            list->current = c;
            return 1;
        }
    }
    return 0;
}

int twDlistSearchForKey(twDlistList *list, void *key, twDlistMatchFn match)
{
    for (twDlistCell *c = first(list); c != &list->tail; c = c->next) {
        if (match(key, c->value)) {
            list->current = c;
            return 1;
        }
    }
    return 0;
}

int twDlistEmpty(twDlistList *list)
{
    return isEmpty(list);
}

int twDlistSize(twDlistList *list)
{
    return list->count;
}

/* ------------------------------------------------------------------ */
/* Walks                                                               */
/* ------------------------------------------------------------------ */

int twDlistLoop(twDlistList *list, twDlistLoopFn fn, void *a)
{
    for (twDlistCell *c = first(list), *next; c != &list->tail; c = next) {
        next = c->next;
        if (!fn(c->value, a)) return 0;
    }
    return 1;
}

int twDlistReverseLoop(twDlistList *list, twDlistLoopFn fn, void *a)
{
    for (twDlistCell *c = last(list), *prev; c != &list->head; c = prev) {
        prev = c->prev;
        if (!fn(c->value, a)) return 0;
    }
    return 1;
}

int twDlistLoop2(twDlistList *list, twDlistLoop2Fn fn, void *a, void *b)
{
    for (twDlistCell *c = first(list), *next; c != &list->tail; c = next) {
        next = c->next;
        if (!fn(c->value, a, b)) return 0;
    }
    return 1;
}

int twDlistLoop3(twDlistList *list, twDlistLoop3Fn fn, void *a, void *b, void *c)
{
    for (twDlistCell *cell = first(list), *next; cell != &list->tail; cell = next) {
        next = cell->next;
        if (!fn(cell->value, a, b, c)) return 0;
    }
    return 1;
}

/* ------------------------------------------------------------------ */
/* Moving cells between lists                                          */
/* ------------------------------------------------------------------ */

void twDlistMovhh(twDlistList *from, twDlistList *to)
{
    if (from != to && !isEmpty(from)) moveCell(from, first(from), to, true);
}

void twDlistMovht(twDlistList *from, twDlistList *to)
{
    if (from != to && !isEmpty(from)) moveCell(from, first(from), to, false);
}

void twDlistMovth(twDlistList *from, twDlistList *to)
{
    if (from != to && !isEmpty(from)) moveCell(from, last(from), to, true);
}

void twDlistMovtt(twDlistList *from, twDlistList *to)
{
    if (from != to && !isEmpty(from)) moveCell(from, last(from), to, false);
}

void twDlistMoveAll(twDlistList *to, twDlistList *from)
{
    if (from == to) return;
    from->current = nullptr;
    if (isEmpty(from)) return;
    twDlistCell *a = first(from), *z = last(from), *end = last(to);
    a->prev = end;
    end->next = a;
    z->next = &to->tail;
    to->tail.prev = z;
    to->count += from->count;
    from->head.next = &from->tail;
    from->tail.prev = &from->head;
    from->count = 0;
}

/* ------------------------------------------------------------------ */
/* Whole-list operations                                               */
/* ------------------------------------------------------------------ */

// The merge sort rewrites only the next links, so until the chain is relinked
// the previous links still hold the order from before the sort. A raise from
// compare puts that order back from them.
static void restoreOrder(void *arg)
{
    auto *list = static_cast<twDlistList *>(arg);
    twDlistCell *following = &list->tail;
    for (twDlistCell *c = list->tail.prev; c != &list->head; c = c->prev) {
        c->next = following;
        following = c;
    }
    list->head.next = following;
}

void twDlistSort(twDlistList *list, twDlistCmpFn compare)
{
    if (list->count < 2) return;
    twUnwind unwind;
    tw_UnwindPush(&unwind, restoreOrder, list);
    last(list)->next = nullptr;
    twDlistCell *chain = mergeSort(first(list), compare);
    tw_UnwindPop(&unwind);
    twDlistCell *prev = &list->head;
    for (twDlistCell *c = chain; c; c = c->next) {
        prev->next = c;
        c->prev = prev;
        prev = c;
    }
    prev->next = &list->tail;
    list->tail.prev = prev;
}

static void releasePartialCopy(void *arg)
{
    twDlistFreeList(static_cast<twDlistList *>(arg));
}

twDlistList *twDlistCopy(twDlistList *list, twDlistCopyFn copy)
{
    twDlistList *out = twDlistCreate();
    if (isEmpty(list)) return out;
    // The copies made so far stay the callback's business; the cells and the
    // list record go back to the pools.
    twUnwind unwind;
    tw_UnwindPush(&unwind, releasePartialCopy, out);
    void *value = twDlistHead(list);
    do {
        twDlistAddTail(out, copy ? copy(value) : value);
    } while ((value = twDlistNxtElement(list)) != nullptr);
    tw_UnwindPop(&unwind);
    return out;
}

void **twDlistListToArray(twDlistList *list, void **array)
{
    if (!array)
        array = static_cast<void **>(
            twMemCalloc(static_cast<uint32_t>(list->count) + 1, sizeof(void *), "twDlistArray"));
    void **p = array;
    for (twDlistCell *c = first(list); c != &list->tail; c = c->next) *p++ = c->value;
    *p = nullptr;
    return array;
}

twDlistList *twDlistArrayToList(void **array, twDlistList *list)
{
    if (!list) list = twDlistCreate();
    for (void **p = array; p && *p; p++) twDlistAddTail(list, *p);
    return list;
}
