/* dlist.h - twDlist, doubly linked lists of one-word values with a cursor.
 *
 * A list keeps a cursor (the current cell) that most operations move, so a
 * caller can walk a list and insert or delete where it stands without
 * iterators of its own. Values are words the list never interprets; a value
 * of 0 doubles as "no element" in the results of the cursor operations, so a
 * list that holds 0 cannot tell it from the end of a walk.
 *
 * Cells and list records are recycled through two process-wide pools and go
 * back to the free lists only when twDlistPurge runs (on memory shortage,
 * and at the orderly end). No operation reports an error or raises; an
 * exhausted heap ends the process with "Out of memory." as every allocation
 * does. The caller owns a list from twDlistCreate (or twDlistCopy,
 * twDlistArrayToList) until twDlistFreeList or twDlistDestroyList, and the
 * values throughout.
 *
 * The cursor. It is null on a new or cleared list, on a cell, or on one of
 * the two sentinels that bound the chain (after a deletion moved it off the
 * ends), where the value and cell results read 0 and null. Its direction is
 * the direction of the last step: forward from creation and after
 * twDlistNxtElement/twDlistNxtCell, backward after the Pre forms. When the
 * current cell is removed the cursor first moves to the neighbour behind it
 * in that direction (the previous cell on a forward walk), so the next step
 * reaches the cell after the deleted one.
 *
 * Callbacks and raises. A raise out of a callback passes through every
 * operation with nothing lost; what it leaves behind is said on each
 * operation.
 */
#ifndef TWLIB_CONTAINERS_DLIST_H
#define TWLIB_CONTAINERS_DLIST_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twDlistList twDlistList;

/* A cell, as the cell operations hand it out. The caller may read and
 * change 'value'; the links belong to the list. */
typedef struct twDlistCell {
    void *value;
    struct twDlistCell *next;
    struct twDlistCell *prev;
} twDlistCell;

typedef void (*twDlistFreeFn)(void *value, void *arg);
/* Walks stop when the callback returns 0. */
typedef int (*twDlistLoopFn)(void *value, void *a);
typedef int (*twDlistLoop2Fn)(void *value, void *a, void *b);
typedef int (*twDlistLoop3Fn)(void *value, void *a, void *b, void *c);
/* Nonzero when 'value' is the one looked for. */
typedef int (*twDlistMatchFn)(void *key, void *value);
/* Negative, zero or positive as a sorts before, with or after b. */
typedef int (*twDlistCmpFn)(void *a, void *b);
typedef void *(*twDlistCopyFn)(void *value);

/* ---- Creation and release ------------------------------------------ */

/* A new empty list without cursor, direction forward; from the list pool
 * when it holds a spare record. Never null. */
twDlistList *twDlistCreate(void);
/* Gives every cell to the cell pool at once; the list is empty, without
 * cursor, and can be used again. The values are not touched. */
void twDlistClearList(twDlistList *list);
/* As twDlistClearList, then the record goes to the list pool: 'list' is no
 * longer valid. Null is ignored. */
void twDlistFreeList(twDlistList *list);
/* Calls fn(value, arg) for every cell from head to tail, then frees the
 * list as twDlistFreeList. Each cell leaves the list before its call, so fn
 * may release the value; fn must not use the list. A null fn only frees;
 * a null list is ignored. If fn raises, the cells not yet visited are still
 * in the list (with the right count) and the list is still the caller's. */
void twDlistDestroyList(twDlistList *list, twDlistFreeFn fn, void *arg);
/* The purge routine: hands every spare cell and list record, and both pool
 * records, back to the free lists; the pools are rebuilt as lists are
 * released again. Lists in use are not touched. Allocates nothing.
 * Returns 1. */
int twDlistPurge(void);

/* ---- Adding and removing ------------------------------------------- */

/* Each new cell becomes the current cell. */
void twDlistAddHead(twDlistList *list, void *value);
void twDlistAddTail(twDlistList *list, void *value);
/* A new cell before (after) the current cell. Nothing happens when the
 * list has no cursor, which includes an empty list. On a sentinel the new
 * cell goes to that end: first on the head side, last on the tail side. */
void twDlistInsBefore(twDlistList *list, void *value);
void twDlistInsAfter(twDlistList *list, void *value);
/* Removes the first (last) cell and returns its value; 0 when empty. */
void *twDlistRemHead(twDlistList *list);
void *twDlistRemTail(twDlistList *list);
/* Removes the first cell holding exactly 'value': 1, or 0 when absent. */
int twDlistDelElement(twDlistList *list, void *value);
/* Removes the current cell; nothing when the cursor is not on a cell. */
void twDlistDelCurrent(twDlistList *list);

/* ---- Cursor and inspection ----------------------------------------- */

/* Cursor to the first (last) cell; its value, 0 (cursor unchanged) when
 * the list is empty. */
void *twDlistHead(twDlistList *list);
void *twDlistTail(twDlistList *list);
/* Sets the direction forward and steps to the next cell: its value, or 0
 * at the end (the cursor stays on the last cell) and on an empty list.
 * Without cursor the step goes to the first cell. */
void *twDlistNxtElement(twDlistList *list);
/* Sets the direction backward and steps to the previous cell: its value,
 * or 0 at the start and on an empty list. Without cursor the step goes to
 * the last cell. */
void *twDlistPreElement(twDlistList *list);
/* As the two above, returning the new current cell; null at the ends. */
twDlistCell *twDlistNxtCell(twDlistList *list);
twDlistCell *twDlistPreCell(twDlistList *list);
/* The current value (cell); 0 (null) without cursor or on a sentinel. */
void *twDlistCurElement(twDlistList *list);
twDlistCell *twDlistCurCell(twDlistList *list);
/* Puts the cursor on 'cell', which must be a cell of this list (as the
 * cell operations returned it) or null for no cursor. */
void twDlistSetCurrent(twDlistList *list, twDlistCell *cell);
/* 1 when the current cell is the first (last) one; 0 otherwise, without
 * cursor or on a sentinel. */
int twDlistCurFirst(twDlistList *list);
int twDlistCurLast(twDlistList *list);
/* Moves the current cell to the front; the cursor stays on it. Nothing
 * when the cursor is not on a cell. */
void twDlistMoveCurToHead(twDlistList *list);
/* Cursor to the first cell holding exactly 'value' (for which
 * match(key, value) is nonzero): 1; 0 when there is none, and the cursor
 * stays. match must not change the list; a raise from it leaves the cursor
 * where it was. */
int twDlistSearchFor(twDlistList *list, void *value);
int twDlistSearchForKey(twDlistList *list, void *key, twDlistMatchFn match);
/* 1 when the list has no cells. */
int twDlistEmpty(twDlistList *list);
/* The number of cells. */
int twDlistSize(twDlistList *list);

/* ---- Walks ----------------------------------------------------------- */

/* Call fn with every value, head to tail (tail to head for the reverse
 * form); stop and return 0 when fn returns 0, else return 1. The cursor is
 * neither used nor moved. The next cell is read before each call, so fn may
 * remove the cell it was given (twDlistDelElement of its value, say); it
 * must not remove other cells, clear or free the list. A raise from fn ends
 * the walk and leaves the list as fn left it. */
int twDlistLoop(twDlistList *list, twDlistLoopFn fn, void *a);
int twDlistReverseLoop(twDlistList *list, twDlistLoopFn fn, void *a);
int twDlistLoop2(twDlistList *list, twDlistLoop2Fn fn, void *a, void *b);
int twDlistLoop3(twDlistList *list, twDlistLoop3Fn fn, void *a, void *b, void *c);

/* ---- Moving cells between lists -------------------------------------- */

/* Move the first (h) or last (t) cell of 'from' to the front (h) or end
 * (t) of 'to', with its value; the counts follow. Nothing happens when
 * 'from' is empty or is 'to'. The cursor of 'to' is not touched; when the
 * moved cell was the cursor of 'from', that cursor is repaired as on a
 * removal, so it never points into the other list. */
void twDlistMovhh(twDlistList *from, twDlistList *to);
void twDlistMovht(twDlistList *from, twDlistList *to);
void twDlistMovth(twDlistList *from, twDlistList *to);
void twDlistMovtt(twDlistList *from, twDlistList *to);
/* Appends every cell of 'from' to 'to' at once; 'from' is left empty,
 * without cursor. Nothing when the two are the same list. */
void twDlistMoveAll(twDlistList *to, twDlistList *from);

/* ---- Whole-list operations -------------------------------------------- */

/* Sorts the cells by compare(valueA, valueB) with a merge sort that
 * allocates nothing and recurses about log2(n) deep; cells whose values
 * compare equal come out in the reverse of their order before. The cursor
 * keeps its cell. compare must not change the list; a raise from it leaves
 * the cells in their order from before the sort. */
void twDlistSort(twDlistList *list, twDlistCmpFn compare);
/* A new list (the caller's) holding copy(value) for each value in order, or
 * the values themselves with a null copy; its cursor is on its last cell.
 * The walk uses the source's cursor: it stands on the last cell visited
 * afterwards, direction forward. The first value is always copied; the
 * walk ends at the first value 0 after it, so the cells from there on are
 * not copied. copy must not change the source. A raise from it releases the
 * partial copy's list (the values copy returned before are not released)
 * and leaves the source's cursor on the value being copied. */
twDlistList *twDlistCopy(twDlistList *list, twDlistCopyFn copy);
/* The values in order followed by a 0 word, in 'array' (at least size + 1
 * words) or, when it is null, in a new array from the memory manager (tag
 * "twDlistArray") that the caller frees with twMemFree. Returns the array. */
void **twDlistListToArray(twDlistList *list, void **array);
/* Appends every value of the 0-terminated 'array' at the tail of 'list', or
 * of a new list when it is null; the cursor ends on the last cell appended.
 * Returns the list. */
twDlistList *twDlistArrayToList(void **array, twDlistList *list);

#ifdef __cplusplus
}
#endif

#endif
