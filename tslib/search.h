/* search.h - file search over working directories.
 *
 * A short name is looked for, in order, in the version sub-directory, as
 * given (the current directory), below the origin, in the working
 * directories of WDIR (each one's version sub-directory first) and in the
 * executable's directory. A found file is returned as an absolute path.
 * Results: 0 found, 4 not found, 7 a name that cannot be split into path
 * components, 2 a path that cannot be made absolute.
 *
 * The working-directory list is read from WDIR (directory names separated
 * by blanks, tabs or colons) at the first use and again after
 * tsResetWdirCache or tsWdirSetCompatibleVersion; changing WDIR has no
 * effect before that. Loops stop when their callback returns 0 and then
 * return 0, else 1.
 */
#ifndef TSLIB_SEARCH_H
#define TSLIB_SEARCH_H

#include <stdint.h>

#include "twlib/regexp/regexp.h"

#ifdef __cplusplus
extern "C" {
#endif

extern const char *twCompatibleVersionV; /* "532" */
extern const char *twCompatibleExeTagV;

typedef int (*tsPathFn)(const char *path);
typedef int (*tsPathArgFn)(void *arg, const char *path);
typedef int (*tsLoopFn)(const char *path, void *arg);
typedef int (*tsForEachFileFn)(void *arg, const char *dir, const char *name,
                               long mtime, long size, int kind);
/* The match record's pointers point into the entry name. */
typedef int (*tsLoopRegexpFn)(const char *path, void *arg, const twRegexpMatch *match);

/* path must hold TS_PATH_SIZE bytes. On 0 it holds the absolute path of the
 * file found; on 4 the name as passed in; on 7 (a null or empty name, or one
 * of 256 characters or more) its first 255 characters, for messages. */
int tsGetini(const char *name, char *path);
int tsSrchdirs(const char *name, int kind, char *path);
/* The working-directory step alone. */
int tsSrchwdirs(const char *name, int kind, char *path);
/* The executable-directory step alone (parts may be null); 4 when no
 * executable directory is set or the joined path would be too long. */
int tsSrchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path);
/* 1 after the executable directory was set from the invocation name (found
 * through PATH when it has no directory part), 0 on failure (it is then
 * unset). */
int tsSetexedir(const char *argv0);
const char *tsExeDir(void);
/* 0 found, 4 not found, 7 no PATH, 1 a candidate path too long. */
int tsFindExeInPath(const char *name, char *path);
/* Each plain working directory (not the version sub-directories). */
int tsLoopwdirs(tsPathFn fn);
int tsLoopWdirs2(tsPathArgFn fn, void *arg);
/* Every directory the search visits, in order: "<version>/", ".", then the
 * working-directory list. */
int tsWdirLoopSrchdirs2(tsPathArgFn fn, void *arg);
/* Uses 'version' (at most 79 characters; null or "" for none) from now on
 * instead of twCompatibleVersionV. */
void tsWdirSetCompatibleVersion(const char *version);
/* WDIR is read again at the next use; the cached directory listings are
 * dropped too, so every entry's status is read afresh. */
void tsResetWdirCache(void);
/* Calls fn(path, arg) for each entry of the pattern's directory whose name
 * matches the pattern's file part (wildcards * and ?) and whose kind is
 * 'kind' (4 any), in byte order of the names. 0 when at least one entry
 * matched, 4 when none did or the directory cannot be read, 2 for an
 * empty file part with kind 3, or the error of making the pattern
 * absolute. fn null or twDummyProc: only counts. */
int tsLoop2(const char *pattern, int kind, tsLoopFn fn, void *arg);
int tsLoop(const char *pattern, int kind, tsLoopFn fn);
/* As tsLoop2 over the directory part of 'path', selecting entry names that
 * the expression matches; 7 for a null expression. */
int tsLoopRegexp(const char *path, int kind, const twRegexpT *re, tsLoopRegexpFn fn, void *arg);
/* For a file: one call. For a directory: one call per entry of the kind
 * whose name matches 'pattern' (every entry when null); 'dir' ends with
 * "/". Returns the number of calls made (fn may be null), or -1 when the
 * path cannot be made absolute or its status cannot be read. */
int tsDirForEachFile(const char *path, const char *pattern, int kind,
                     tsForEachFileFn fn, void *arg);
/* Stepping iterator over the entries of the plain working directories:
 * start -1 queues every entry of the kind, 0 empties the queue, then the
 * head is taken. Returns a pool string the caller frees with twStrFree, or
 * null when the queue is empty. */
char *tsStepWdirsAlloc(int start, int kind);
/* As above; the text lives in a buffer that the next call overwrites. */
const char *tsStepWdirs(int start, int kind);
/* Only entries whose file name matches 'pattern' (null: every entry). */
char *tsStepWdirsForNameAlloc(const char *pattern, int start, int kind);
const char *tsStepWdirsForName(const char *pattern, int start, int kind);

#ifdef __cplusplus
}
#endif

#endif
