/* fileops.h - file status, existence tests, creation, deletion, renaming,
 * unique names and file-name validity.
 *
 * Kinds: 2 a directory, 3 anything that is not a directory, 4 any kind.
 * Results: 0 success, 2 too long/malformed/unexpected, 4 not found or of the
 * wrong kind, 5 cannot be created (or exists already), 7 no permission,
 * invalid name, or a name truncated by the file system.
 */
#ifndef TSLIB_FILEOPS_H
#define TSLIB_FILEOPS_H

#include <stdint.h>

#include "twlib/core/mem.h"
#include "twlib/err/msgfile.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TS_KIND_DIR = 2, TS_KIND_FILE = 3, TS_KIND_ANY = 4 };

/* Restricted (short, portable) file names when non-zero. */
extern int32_t tcZrFnamesCompatibleV;

int tsInfo(const char *path, long *time, long *size, int *kind);
int tsExists(const char *path, int kind);
int tsExists2(const char *path, int kind, char *out);
int tsFexists(const char *path);
long tsFtime(const char *path);
long tsFGMtime(const char *path);
/* Removes a file (kind 3, unlink) or an empty directory (other kinds,
 * rmdir). 7 when no write-permission bit is set or access is denied, 4 when
 * it is missing or cannot be removed, 2 for 256 characters or more. */
int tsDelete(const char *path, int kind);
int tsRename(const char *oldPath, const char *newPath);
/* Creates (or empties) a file, or a directory for kind 2 (0 also when it
 * exists; -1 for an empty name). 5 when the file cannot be opened, 7 when
 * the directory cannot be made or the file system cut the name to 14
 * characters. */
int tsCreate(const char *path, int kind);
/* As tsCreate, making missing parent directories first; 5 when something
 * of the kind exists there already. */
int tsCreateWithPath(const char *path, int kind);
/* Creates a new empty file "twXXXXXX" (mode 0600) in the directory, made
 * absolute in place; the buffer receives its path. 4 not a directory or no
 * name to be had, 2 when the name would not fit. */
int tsUnique(char *dir);
int tsValidFile(const char *base);
int tsValidExt(const char *ext);
int tsMakeValidFile(char *base);
int tsMakeValidExt(char *ext);
int tsValidSpec(const char *path);
int tsMakeValidSpec(char *path);
/* The file-system library's message file, opened on first use under the
 * owner name "tslib"; it stays open. */
twMsgFileHandle *tsMsgFile(void);
/* Local-time seconds: a calendar time counted from 1970 as if it were UTC. */
long tsLocalSeconds(long platformTime);
/* Ends the process abnormally with a core image. */
TW_NORETURN void tsCoreDump(void);

#ifdef __cplusplus
}
#endif

#endif
