/* fileops.h - file status, existence tests, creation, deletion, renaming,
 * unique names and file-name validity.
 *
 * Kinds: TS_KIND_DIR (2) a directory, TS_KIND_FILE (3) anything that is not
 * a directory, TS_KIND_ANY (4) any kind (accepted by the tests only).
 * Results (twlib/core/base.h): TS_OK (0) success; TS_ERR_PATH (2) a path too
 * long or malformed, or an unexpected failure; TS_ERR_NOTFOUND (4) not found
 * or of the wrong kind; TS_ERR_CREATE (5) cannot be created, or exists
 * already; TS_ERR_INVALID (7) no permission, an invalid name, or a name the
 * file system cut to 14 characters. Path buffers hold TS_PATH_SIZE bytes and
 * belong to the caller. None of these calls raises or keeps a pointer it is
 * given.
 */
#ifndef TSLIB_FILEOPS_H
#define TSLIB_FILEOPS_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TS_KIND_DIR = 2, TS_KIND_FILE = 3, TS_KIND_ANY = 4 };

/* Restricted (short, portable) file names when non-zero: a base name of at
 * most 8 and an extension of at most 3 letters, digits, "_", "$" or "-", not
 * beginning with "-". 0 (the default): up to 255 characters other than "/". */
extern int32_t tcZrFnamesCompatibleV;

/* The status of 'path': TS_OK and, for each output that is not null, the
 * modification time in local-time seconds, the size in bytes and the kind
 * (2 or 3); TS_ERR_NOTFOUND (outputs untouched) when it cannot be read or
 * the path is null. */
int tsInfo(const char *path, long *time, long *size, int *kind);
/* TS_OK when the path exists and is of the kind (4 any); else
 * TS_ERR_NOTFOUND. */
int tsExists(const char *path, int kind);
/* As tsExists, and on success the absolute path (tsAbsPath2) in 'out', whose
 * error is returned instead when it fails. */
int tsExists2(const char *path, int kind, char *out);
/* 1 when something other than a directory exists at the path, else 0. */
int tsFexists(const char *path);
/* The modification time in local-time seconds; 0 when it cannot be read. */
long tsFtime(const char *path);
/* The modification time in the platform's seconds since 1970 (UTC); 0 when
 * it cannot be read. */
long tsFGMtime(const char *path);
/* Removes a file (kind 3, unlink) or an empty directory (other kinds,
 * rmdir; a trailing "/" is allowed). TS_OK; TS_ERR_INVALID when no
 * write-permission bit is set or access is denied (nothing removed);
 * TS_ERR_NOTFOUND when it is missing or cannot be removed; TS_ERR_PATH for
 * null or 256 characters or more. */
int tsDelete(const char *path, int kind);
/* Renames. TS_OK; TS_ERR_INVALID permission denied; TS_ERR_NOTFOUND no such
 * file; TS_ERR_PATH for a null argument or any other failure. */
int tsRename(const char *oldPath, const char *newPath);
/* Creates (or empties) a file, or a directory for kind 2 (mode 0777 less
 * the creation mask; TS_OK also when a directory exists there already).
 * -1 for an empty name with kind 2; TS_ERR_CREATE when the file cannot be
 * opened; TS_ERR_INVALID when the directory cannot be made or the file
 * system cut the name to 14 characters (the cut twin this call made is
 * removed again); TS_ERR_PATH for null or 256 characters or more. */
int tsCreate(const char *path, int kind);
/* As tsCreate on the absolute form of the path, making the missing parent
 * directories first (those made stay when a later step fails).
 * TS_ERR_CREATE when something of the kind exists there already;
 * TS_ERR_INVALID when a parent cannot be made; the error of tsAbsPath2 for a
 * path it cannot make absolute. */
int tsCreateWithPath(const char *path, int kind);
/* Makes the directory in the buffer absolute in place, then creates a new
 * empty file "twXXXXXX" (mode 0600, the X chosen by the platform) in it and
 * leaves the file's path in the buffer. TS_OK; TS_ERR_NOTFOUND when it is
 * not a directory or no name can be had; TS_ERR_PATH when the name would not
 * fit (the buffer then holds the absolute directory), for null, or the
 * error of tsAbsPath. */
int tsUnique(char *dir);
/* 1 when the base name (extension) is valid under the rules in force, 0
 * for null, empty or invalid text. */
int tsValidFile(const char *base);
int tsValidExt(const char *ext);
/* Make the text valid in place: at most 255 characters with each "/"
 * turned into "$"; restricted: each leading "-" and each other invalid
 * character turned into "$", cut to 8 (3) characters. TS_OK, or
 * TS_ERR_PATH (text untouched) for null or empty text. */
int tsMakeValidFile(char *base);
int tsMakeValidExt(char *ext);
/* 1 when the path splits and both its base name and extension are valid
 * (so a path without an extension is not), else 0. */
int tsValidSpec(const char *path);
/* Makes the base name and extension of a path buffer valid and joins the
 * path again in place. TS_OK; TS_ERR_PATH (buffer untouched) when the path
 * is too long, has no base name or no extension, or does not fit after. */
int tsMakeValidSpec(char *path);
/* Local-time seconds: the calendar time of 'platformTime' in the local time
 * zone counted from 1970-01-01 00:00:00 as if it were UTC. Cannot fail (a
 * time the platform cannot convert is returned as it is). */
long tsLocalSeconds(long platformTime);
/* Ends the process abnormally with a core image, after flushing streams. */
TW_NORETURN void tsCoreDump(void);

#ifdef __cplusplus
}
#endif

#endif
