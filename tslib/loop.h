/* loop.h - loops over the working directories and over directory entries.
 *
 * Every loop calls its callback once per item, in order, until the
 * callback returns 0. What a callback may do:
 *
 * - Raise: the exception leaves the loop at once; the loop holds nothing
 *   that would have to be given back.
 * - Call any operation of the file-system library, loops included (the
 *   same loop over the same list or directory too).
 * - Working-directory loops: the list changes only when it is cleared
 *   (tsResetWdirCache, tsWdirSetCompatibleVersion). After a callback that
 *   cleared it, the loop ends at once and returns 1 (0 when that callback
 *   also returned 0); the list is rebuilt at its next use. The path a
 *   callback receives is a copy that stays valid during the call whatever
 *   the callback does.
 * - Directory loops walk the directory's cached listing, in ascending byte
 *   order of the names. Entries a callback creates or deletes show only
 *   when the listing is read again during the walk (after tsResetWdirCache,
 *   or when the callback loops over the same directory and finds it
 *   changed): the loop then goes on in the new listing after the name it
 *   handed out last, so no entry comes twice, entries added after that name
 *   come in their turn and removed ones no longer come. Otherwise a path
 *   handed out may name an entry that a callback has removed meanwhile.
 *   The texts a callback receives are copies, valid during the call.
 */
#ifndef TSLIB_LOOP_H
#define TSLIB_LOOP_H

#include "twlib/core/base.h"
#include "twlib/regexp/regexp.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Callbacks: return 0 to end the loop, anything else to go on. */
typedef int (*tsPathFn)(const char *path);
typedef int (*tsPathArgFn)(void *arg, const char *path);
typedef int (*tsLoopFn)(const char *path, void *arg);
/* 'dir' is the absolute directory, ending in "/"; 'name' the entry's name;
 * mtime in local-time seconds; kind 2 (directory) or 3. */
typedef int (*tsForEachFileFn)(void *arg, const char *dir, const char *name, long mtime, long size, int kind);
/* 'match' holds pointers into a copy of the entry's name (not into 'path'),
 * valid during the call. */
typedef int (*tsLoopRegexpFn)(const char *path, void *arg, const twRegexpMatch *match);

/* Calls fn(path) for each plain working directory (each directory named in
 * WDIR, not the version sub-directories), in list order. 0 when the
 * callback ended the loop, 1 otherwise (also for a null fn, which is not
 * called, and after a callback cleared the list). */
int tsLoopwdirs(tsPathFn fn);
/* The same, calling fn(arg, path). */
int tsLoopWdirs2(tsPathArgFn fn, void *arg);

/* Calls fn(arg, dir) for every directory the search visits, in search
 * order: the version directory below the current one ("532/"; left out
 * when no version is in force), ".", then every element of the
 * working-directory list. Results as tsLoopWdirs2. */
int tsWdirLoopSrchdirs2(tsPathArgFn fn, void *arg);

/* Calls fn(path, arg) for each entry of the pattern's directory whose name
 * matches the pattern's file part (wildcards "*" and "?"; brackets are
 * plain characters) and whose kind is 'kind' (2 directory, 3 anything else,
 * 4 any). An empty file part ("/dir/") with kind 3 gives TS_ERR_PATH; with
 * another kind the loop looks for directories of that empty name and so
 * finds none (TS_ERR_NOTFOUND). Relative patterns are
 * taken against the default directory; entries whose status cannot be read
 * and entries whose full path would not fit a path buffer are skipped.
 * TS_OK when at least one entry matched; TS_ERR_NOTFOUND when none did or
 * the directory cannot be read; TS_ERR_PATH for an empty file part with kind
 * 3; otherwise the error of making the pattern absolute (tsAbsPath2). A
 * null fn, or twDummyProc cast to tsLoopFn, is not called: the loop only
 * counts. */
int tsLoop2(const char *pattern, int kind, tsLoopFn fn, void *arg);
/* tsLoop2 with a null argument. */
int tsLoop(const char *pattern, int kind, tsLoopFn fn);

/* As tsLoop2 over the directory part of 'path' (its file part is ignored),
 * selecting the entries whose name the expression matches (twRegexpExec).
 * fn may be null (the loop only counts). TS_ERR_INVALID for a null
 * expression. The expression stays the caller's. */
int tsLoopRegexp(const char *path, int kind, const twRegexpT *re, tsLoopRegexpFn fn, void *arg);

/* For a path that names something other than a directory: one call, with
 * its directory and name. For a directory: one call per entry of the kind
 * (4 any) whose name matches 'pattern' (wildcards; every entry when null).
 * Returns the number of entries counted (the one that ended the loop
 * included; fn may be null, then it only counts), or -1 when the path is
 * null, cannot be made absolute, its status or the directory cannot be
 * read. */
int tsDirForEachFile(const char *path, const char *pattern, int kind, tsForEachFileFn fn, void *arg);

#ifdef __cplusplus
}
#endif

#endif
