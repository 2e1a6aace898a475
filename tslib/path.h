/* path.h - path names: split, join, clean, absolute and relative forms.
 *
 * Paths use "/" as separator; a path buffer holds TS_PATH_SIZE bytes, so a
 * path has at most 255 characters. Results: 0 success, 2 too long or
 * malformed, 4 something needed is unavailable, 7 an invalid argument.
 */
#ifndef TSLIB_PATH_H
#define TSLIB_PATH_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { TS_TRNLOG_SIZE = 2048 };

/* Each output may be null; outputs are path buffers. */
int tsParse(const char *path, char *node, char *dir, char *base, char *ext);
int tsParse2(const char *path, char *node, char *dir, char *file);
/* As tsParse; a failure raises the library exception (message 1041 of the
 * file-system library's message file, the path as argument). */
int tsParseEx(const char *path, char *node, char *dir, char *base, char *ext);
/* Joins the parts, each trimmed of white space (null parts are absent);
 * a "/" goes after a directory that lacks one and "." before a non-empty
 * extension. 2, with out unchanged, when the result could exceed 255
 * characters (a given extension counts one more for its dot). */
int tsMerge(char *out, const char *node, const char *dir, const char *base, const char *ext);
/* Appends the sub-directory and a final "/"; 2, dir unchanged, when that
 * does not fit. An empty sub-directory changes nothing. */
int tsDnpath(char *dir, const char *sub);
/* Collapses runs of "/" and "\" into one "/"; 2 for null or a result of
 * 256 characters or more (out unchanged). */
int tsConvPath(const char *path, char *out);
/* Absolute form with "~" (HOME) and "~user" expanded and "." and ".."
 * resolved, against the default directory (tsAbsPath2) or the process's
 * working directory (tsAbsSysPath2). Out is written only on success.
 * 2 too long or unknown user, 4 HOME unset or working directory unreadable. */
int tsAbsPath2(const char *path, char *out);
int tsAbsSysPath2(const char *path, char *out);
/* In place; a trailing "/" of the result stays only if the path had one. */
int tsAbsPath(char *path);
/* In place: the absolute form, then relative to the default directory when
 * it lies below it ("" for the default directory itself). */
int tsRelPath(char *path);
int tsRelPath2(const char *path, char *out);
/* The cached default directory, ending in "/"; 1 when the working directory
 * cannot be read. */
int tsGetdef(char *out);
/* Changes the working directory and the default directory; 7 for null, empty,
 * too long or a directory that cannot be entered. */
int tsSetdef(const char *dir);
/* Null clears the origin; 7 for more than 255 characters. */
int tsSetorigin(const char *dir);
const char *tsGetorigin(void);
/* Copies at most 2047 characters of the variable into a TS_TRNLOG_SIZE-byte
 * buffer; 4 when it is not set. */
int tsTrnlog(const char *name, char *buf);

#ifdef __cplusplus
}
#endif

#endif
