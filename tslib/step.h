/* step.h - stepping iterators over the entries of the working directories.
 *
 * One process-wide queue of full paths. A start flag of -1 appends every
 * entry of the given kind (2 directory, 3 anything else, 4 any) of each
 * plain working directory (the directories named in WDIR, not the version
 * sub-directories), directory by directory in list order and by name
 * within each, to the tail of the queue; 0 empties the queue first; any
 * other value leaves it as it is. Then the head of the queue is taken.
 *
 * The queue holds copies: resetting the working-directory list or the
 * listing cache, or changing the directories, between two steps leaves the
 * queued paths as they are (one may name an entry that is gone by then). A
 * directory that cannot be read adds nothing. None of these calls raises.
 */
#ifndef TSLIB_STEP_H
#define TSLIB_STEP_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The next queued path as a pool string that the caller releases with
 * twStrFree, or null when the queue is empty. */
char *tsStepWdirsAlloc(int start, int kind);

/* As tsStepWdirsAlloc, the text in a buffer owned by the library that the
 * next call of tsStepWdirs or tsStepWdirsForName overwrites; null when the
 * queue is empty. */
const char *tsStepWdirs(int start, int kind);

/* As tsStepWdirsAlloc, taking queued paths until one whose file name
 * matches 'pattern' (wildcards "*" and "?"; null matches every name); the
 * paths passed over are dropped from the queue. Null when none is left. */
char *tsStepWdirsForNameAlloc(const char *pattern, int start, int kind);

/* The same, in the buffer of tsStepWdirs. */
const char *tsStepWdirsForName(const char *pattern, int start, int kind);

#ifdef __cplusplus
}
#endif

#endif
