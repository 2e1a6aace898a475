/* dlist.h - twDlist, doubly linked lists of one-word values with a cursor.
 *
 * Cells and list records are recycled through two process-wide pools, which
 * go back to the free lists only when twDlistPurge runs.
 */
#ifndef TWLIB_CONTAINERS_DLIST_H
#define TWLIB_CONTAINERS_DLIST_H

#ifdef __cplusplus
extern "C" {
#endif

/* Hands both pools back to the free lists. Returns 1. */
int twDlistPurge(void);

#ifdef __cplusplus
}
#endif

#endif
