/* dlist.cpp - twDlist, doubly linked lists of one-word values with a cursor.
 *
 * No list has been made yet in this build of the module, so the pools the
 * purge routine hands back are always absent.
 */
#include "twlib/containers/dlist.h"

int twDlistPurge(void)
{
    return 1;
}
