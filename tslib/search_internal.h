/* search_internal.h - what the files of the search family share among
 * themselves: path-buffer helpers, the working-directory list and the
 * directory-listing cache. C++ only; not part of the installed interface.
 *
 * Whatever a caller's callback does (reset the list, drop the cache, list
 * the same directory again, raise) may free the records described here, so
 * no code keeps a pointer into them across a callback: the list is walked
 * with its generation checked after every call-out, the cache through a
 * cursor that remembers a name, not a position.
 */
#ifndef TSLIB_SEARCH_INTERNAL_H
#define TSLIB_SEARCH_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "twlib/core/base.h"

namespace tslib {

constexpr size_t kMaxPath = TS_PATH_SIZE - 1;  // longest path a buffer holds
constexpr const char *kSeparators = " \t:";    // between names in WDIR and PATH

// Copies src into a path buffer when it fits; false (dst untouched) if not.
bool copyPath(char *dst, const char *src);
// dir, a "/" when dir is non-empty and lacks one, then name; false (out
// untouched) when the result would not fit a path buffer.
bool joinPath(char *out, const char *dir, const char *name);

// ---------------------------------------------------------------------------
// Working-directory list (wdir.cpp)

struct WdirElement {
    WdirElement *next;
    char *path;        // at most 255 characters
    int32_t isCompat;  // 1: a version sub-directory; 0: named in WDIR
};

// Rebuilds the list from WDIR when it was reset since the last use.
void wdirEnsure();
// The first element (null for an empty list). Valid until the list is
// cleared: check wdirGeneration after anything that may call out.
const WdirElement *wdirFirst();
// Changes whenever the list is cleared (a reset or a rebuild).
unsigned wdirGeneration();
// The compatible version in force ("" for none); refreshed by wdirEnsure.
const char *wdirVersion();

// ---------------------------------------------------------------------------
// Directory-listing cache (dircache.cpp)

// One entry as a cursor hands it out: copies, so they outlive the listing.
struct DirCursor {
    char dir[TS_PATH_SIZE];   // absolute, ending in "/"
    char name[TS_PATH_SIZE];  // the entry last handed out; "" before the first
    long mtime;               // local-time seconds
    long size;
    int32_t kind;     // 2 directory, 3 other, -1 status unreadable
    uint64_t serial;  // the listing 'next' indexes; 0 for none
    int32_t next;
};

// Starts a walk over the listing of 'dir' (absolute, ending in "/"), in
// ascending byte order of the names; false when it cannot be read.
bool dirCursorOpen(DirCursor *c, const char *dir);
// Moves to the next entry; false at the end. Between two calls anything may
// happen to the cache: the walk goes on in the directory's current listing
// after the name last handed out, so no name comes twice, names that
// appeared meanwhile come in their turn and names that went are not given.
bool dirCursorNext(DirCursor *c);
// Releases every listing (not while the cache itself is being changed).
void dirCacheDrop();

}  // namespace tslib

#endif
