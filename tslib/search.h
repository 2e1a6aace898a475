/* search.h - finding a file by a short name; the umbrella of the search
 * family (the working-directory list, the loops and the stepping
 * iterators have headers of their own, included here).
 *
 * A name is looked for, in order: in the version sub-directory of its own
 * directory ("532/menus.def" for "menus.def"), as given (relative names
 * against the current directory), below the origin (tsSetorigin), in every
 * element of the working-directory list (each directory's version
 * sub-directory before the directory itself) and in the executable's
 * directory (tsSetexedir). A name with an absolute directory part is looked
 * for only in its version sub-directory and as given. A candidate whose
 * path would not fit a path buffer is passed over.
 *
 * Path buffers ('path' below) hold TS_PATH_SIZE bytes and are owned by the
 * caller. None of these calls raises.
 */
#ifndef TSLIB_SEARCH_H
#define TSLIB_SEARCH_H

#include "twlib/core/base.h"
#include "tslib/loop.h"
#include "tslib/step.h"
#include "tslib/wdir.h"

#ifdef __cplusplus
extern "C" {
#endif

/* tsSrchdirs for a file that is not a directory (kind 3): a directory with
 * the sought name is passed over and the search goes on. */
int tsGetini(const char *name, char *path);

/* Searches every place above for an entry of 'kind' (2 a directory, 3
 * anything else, 4 any kind). TS_OK with the found entry's absolute path in
 * 'path'; TS_ERR_NOTFOUND (4) with the name as passed in; TS_ERR_INVALID (7)
 * for a null or empty name, a null buffer, or a name of 256 characters or
 * more, with the name's first 255 characters in 'path' (when not null), for
 * messages; TS_ERR_PATH (2) when the file is found in the executable's
 * directory but its absolute form cannot be made. */
int tsSrchdirs(const char *name, int kind, char *path);

/* The working-directory step alone: each element of the list, in order,
 * extended by the name's directory part. TS_OK with the absolute path,
 * TS_ERR_NOTFOUND (path untouched), TS_ERR_INVALID as tsSrchdirs. */
int tsSrchwdirs(const char *name, int kind, char *path);

/* The executable-directory step alone: the executable's directory extended
 * by 'dir', joined with 'base' and 'ext' (each may be null). TS_OK with the
 * absolute path; TS_ERR_NOTFOUND when no executable directory is set, the
 * joined path would not fit or nothing of the kind is there; TS_ERR_PATH
 * when its absolute form cannot be made; TS_ERR_INVALID for a null buffer. */
int tsSrchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path);

/* Sets the executable directory from the program's invocation name: its
 * own directory when it has one (it must name an existing file), else the
 * directory where PATH finds it. 1 on success; 0 on failure, after which no
 * executable directory is set. */
int tsSetexedir(const char *argv0);

/* The executable directory, ending in "/", or null when none is set. Owned
 * by the library; valid until the next tsSetexedir or the process's exit. */
const char *tsExeDir(void);

/* Looks for a file (not a directory) named 'name' in each directory of
 * PATH (separated by blanks, tabs or colons), in order. TS_OK with its
 * absolute path in 'path'; TS_ERR_NOTFOUND when no directory holds it;
 * TS_ERR_INVALID (7) when PATH is not set or an argument is null; 1 when a
 * candidate path (directory and name) would not fit a path buffer, which
 * ends the search. */
int tsFindExeInPath(const char *name, char *path);

#ifdef __cplusplus
}
#endif

#endif
