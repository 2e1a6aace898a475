/* list.h - intrusive singly and doubly linked record lists.
 *
 * A record's first word is its next link (and, in the doubly linked form,
 * its second word the previous link); a list is the pointer to its first
 * record, null when empty. Nothing here allocates or raises. Every
 * operation that can change the head returns the possibly new first record,
 * which the caller stores back into its head pointer. The records belong to
 * the caller; only twListFree and twListFreeGeneral release them.
 */
#ifndef TWLIB_CONTAINERS_LIST_H
#define TWLIB_CONTAINERS_LIST_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Negative when a belongs before b. */
typedef int (*twListCmpFn)(void *a, void *b);

/* Inserts 'record' (not in any list) after 'after', a member of 'list', or
 * at the front when 'after' is null. Returns the first record. */
void *twListSins(void *record, void *after, void *list);
/* Unlinks 'record' from 'list' and clears its next link. Returns the first
 * record (the successor when 'record' was first). A null record, or one
 * that is not a member, leaves the list and the record unchanged. Walks the
 * list to find the predecessor. */
void *twListSdel(void *record, void *list);
/* As twListSins for doubly linked records, keeping the previous links
 * right. Returns the first record. */
void *twListDins(void *record, void *after, void *list);
/* Unlinks a doubly linked 'record' in constant time and clears both of its
 * links. Returns the first record. A null record changes nothing; a record
 * without predecessor that is not the head of 'list' is detached from its
 * neighbours, and the list is returned unchanged. */
void *twListDdel(void *record, void *list);
/* The record whose next link is 'record', or null (also for the first
 * record and for a record that is not a member). */
void *twListPrev(void *record, void *list);
/* The last record, or null for an empty list. */
void *twListLast(void *list);
/* The number of records. */
uint32_t twListSize(void *list);
/* Releases every record with twMemFree (so every record must be a tagged
 * block). Returns null, for the caller to store as its head. */
void *twListFree(void *list);
/* Calls release(record) for every record in list order, reading the next
 * link before each call, so release may free or reuse the record's words.
 * Returns null. If release leaves by a raise, the records after the one it
 * was given are not visited. */
void *twListFreeGeneral(void *list, void (*release)(void *record));
/* Sorts by 'compare' (not null) with a merge sort that allocates nothing
 * and recurses about log2(n) deep. Records that compare equal come out in
 * the reverse of their input order. Returns the new first record. compare
 * must not change the list. A raise from it leaves every record in the
 * list, the first one still first, in no particular order. */
void *twListSsort(void *list, twListCmpFn compare);
/* As twListSsort, then sets every previous link: null for the new first
 * record, its predecessor for every other (also after a raise from
 * compare). */
void *twListDsort(void *list, twListCmpFn compare);

#ifdef __cplusplus
}
#endif

#endif
