/* path.h - path names: split, join, clean, absolute and relative forms.
 *
 * Paths use "/" as separator; a path buffer holds TS_PATH_SIZE bytes, so a
 * path has at most 255 characters. Results (twlib/core/base.h): TS_OK (0)
 * success, TS_ERR_PATH (2) too long or malformed, TS_ERR_NOTFOUND (4)
 * something needed is unavailable, TS_ERR_INVALID (7) an invalid argument.
 * Buffers passed in belong to the caller; no call keeps a pointer to them.
 * Only tsParseEx raises.
 */
#ifndef TSLIB_PATH_H
#define TSLIB_PATH_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TS_TRNLOG_SIZE = 2048 };

/* Splits a path into node (always empty on this platform), directory part
 * (up to and including the last "/"), base name and extension (after the
 * last dot of the file part; "." and "..", and a name whose only dot is its
 * first character, have no extension). Each output is a path buffer or
 * null. TS_OK; TS_ERR_PATH for null or a path of 256 characters or more,
 * with every output set to "". */
int tsParse(const char *path, char *node, char *dir, char *base, char *ext);
/* As tsParse, with the file part (base name, dot and extension) in 'file'. */
int tsParse2(const char *path, char *node, char *dir, char *file);
/* As tsParse, returning TS_OK; a path it cannot split raises the library
 * exception (tag TW_EX_POSTCOND, message 1041 of the file-system library's
 * message file with the path's first 255 characters) and does not return. */
int tsParseEx(const char *path, char *node, char *dir, char *base, char *ext);
/* Joins the parts, each trimmed of white space (null parts are absent);
 * a "/" goes after a directory that lacks one and "." before a non-empty
 * extension. TS_OK; TS_ERR_PATH, with out unchanged, for a null out or a
 * result that could exceed 255 characters (a given extension counts one
 * more for its dot). 'out' may be one of the parts. */
int tsMerge(char *out, const char *node, const char *dir, const char *base, const char *ext);
/* Appends the sub-directory and a final "/" to the path buffer 'dir' ("" +
 * "532" gives the relative "532/"). TS_OK; an empty or null sub-directory
 * changes nothing; TS_ERR_PATH, dir unchanged, when the result would not
 * fit or dir is null. */
int tsDnpath(char *dir, const char *sub);
/* Collapses runs of "/" and "\" into one "/" into the path buffer 'out'.
 * TS_OK; TS_ERR_PATH for a null argument or a result of 256 characters or
 * more (out unchanged). */
int tsConvPath(const char *path, char *out);
/* Absolute form with "~" (HOME) and "~user" expanded and "." and ".."
 * resolved, against the default directory (tsAbsPath2) or the process's
 * working directory (tsAbsSysPath2), into the path buffer 'out', written
 * only on success. TS_OK; TS_ERR_PATH for null arguments, a result too long
 * or an unknown user; TS_ERR_NOTFOUND when HOME is unset or empty or the
 * working directory cannot be read. */
int tsAbsPath2(const char *path, char *out);
int tsAbsSysPath2(const char *path, char *out);
/* tsAbsPath2 in place in a path buffer; a trailing "/" of the result stays
 * only if the path had one ("/" alone stays). Errors as tsAbsPath2 (the
 * path then unchanged). */
int tsAbsPath(char *path);
/* In place in a path buffer: the absolute form, then relative to the
 * default directory when it lies below it ("" for the default directory
 * itself); a path elsewhere stays absolute. TS_OK; the error of tsGetdef or
 * tsAbsPath otherwise; TS_ERR_PATH for null. */
int tsRelPath(char *path);
/* As tsRelPath, from 'path' into the path buffer 'out' (path unchanged);
 * TS_ERR_PATH also for a path of 256 characters or more. */
int tsRelPath2(const char *path, char *out);
/* Copies the default directory, ending in "/", into the path buffer 'out'
 * (read from the platform at the first call, then kept until tsSetdef).
 * TS_OK; 1 when the working directory cannot be read. */
int tsGetdef(char *out);
/* Changes the process's working directory and the default directory to
 * 'dir' (made absolute first). TS_OK (also for a directory that resolves to
 * nothing to change); TS_ERR_INVALID for null, empty, 256 characters or
 * more, or a directory that cannot be entered (nothing changed then). */
int tsSetdef(const char *dir);
/* Sets the origin directory of the file search to a copy of 'dir'. TS_OK;
 * null clears it (TS_OK); TS_ERR_INVALID, origin unchanged, for more than
 * 255 characters. */
int tsSetorigin(const char *dir);
/* The origin directory, or null when none is set. Owned by the library;
 * valid until the next tsSetorigin. */
const char *tsGetorigin(void);
/* Copies at most 2047 characters of the environment variable 'name' into a
 * TS_TRNLOG_SIZE-byte buffer. TS_OK; TS_ERR_NOTFOUND when it is not set (or
 * name is null); TS_ERR_INVALID for a null buffer. */
int tsTrnlog(const char *name, char *buf);

#ifdef __cplusplus
}
#endif

#endif
