/* list.h - intrusive singly and doubly linked record lists.
 *
 * A record's first word is its next link (and, in the doubly linked form,
 * its second word the previous link); a list is the pointer to its first
 * record. Nothing here allocates. Every operation returns the possibly new
 * first record, which the caller stores back into its head pointer.
 */
#ifndef TWLIB_CONTAINERS_LIST_H
#define TWLIB_CONTAINERS_LIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Negative when a belongs before b. */
typedef int (*twListCmpFn)(void *a, void *b);

void *twListSins(void *record, void *after, void *list);
void *twListSdel(void *record, void *list);
void *twListDins(void *record, void *after, void *list);
void *twListDdel(void *record, void *list);
void *twListPrev(void *record, void *list);
void *twListLast(void *list);
uint32_t twListSize(void *list);
void *twListFree(void *list);
void *twListFreeGeneral(void *list, void (*release)(void *record));
/* Stable-reversed merge sort: records that compare equal come out in the
 * reverse of their input order. */
void *twListSsort(void *list, twListCmpFn compare);
void *twListDsort(void *list, twListCmpFn compare);

#ifdef __cplusplus
}
#endif

#endif
