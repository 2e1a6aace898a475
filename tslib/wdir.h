/* wdir.h - the working-directory list and the compatible version.
 *
 * The list holds, for each directory named in the environment variable WDIR
 * (names separated by blanks, tabs or colons; at most 2047 characters of it
 * are read), first that directory's version sub-directory (the directory
 * extended by the compatible version, "/proj/menus/532/"; left out when no
 * version is in force or the result would not fit a path buffer) and then
 * the directory itself. A name too long for a path buffer is left out.
 *
 * It is read at the first use by the search, the loops or the iterators,
 * and again at the first use after tsResetWdirCache or
 * tsWdirSetCompatibleVersion; changing WDIR has no effect before that. The
 * list and the cached directory listings live until then or until the
 * process ends.
 */
#ifndef TSLIB_WDIR_H
#define TSLIB_WDIR_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The compatible version the list is built with until
 * tsWdirSetCompatibleVersion is called: "532". */
extern const char *twCompatibleVersionV;
/* "$Tarnwerks compatible version: 532$", for programs that want the tag in
 * their image; nothing in the search reads it. */
extern const char *twCompatibleExeTagV;

/* Uses 'version' (its first 79 characters; null or "" for none: then no
 * version sub-directories are searched) from now on instead of
 * twCompatibleVersionV, and clears the list so that it is rebuilt with it
 * at the next use. Cannot fail. May be called from a loop callback: the
 * loop then ends (see loop.h). */
void tsWdirSetCompatibleVersion(const char *version);

/* Clears the list, so that WDIR is read again at the next use, and drops
 * the cached directory listings, so that every entry's status is read
 * afresh. Cannot fail. May be called from a loop callback: a
 * working-directory loop then ends, a directory loop goes on (see loop.h). */
void tsResetWdirCache(void);

#ifdef __cplusplus
}
#endif

#endif
