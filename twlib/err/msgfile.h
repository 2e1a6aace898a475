/* msgfile.h - numbered messages kept in binary message files.
 *
 * A program opens a message file by name and gets a handle; opening a name
 * that is already open returns the same handle and counts one more open.
 *
 * This is the first stage of the module: handles are kept and counted, but
 * no file is read yet, so every message is reported missing with the
 * diagnostic text of the debug mode.
 */
#ifndef TWLIB_ERR_MSGFILE_H
#define TWLIB_ERR_MSGFILE_H

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twMsgFileHandle twMsgFileHandle;

/* Owner, release and the two versions may be null. Never returns null. */
twMsgFileHandle *twMsgFileOpen(const char *name, const char *owner, const char *release,
                               const char *minVersion, const char *maxVersion);
/* Counts one open less; the last close frees the handle. A handle that is
 * not open is ignored. */
void twMsgFileClose(twMsgFileHandle *file);
/* The name the handle was opened under; null for a handle that is not open. */
const char *twMsgGetFilename(twMsgFileHandle *file);
/* The owner expected at the first open (null when none was given). */
const char *twMsgGetOwner(twMsgFileHandle *file);
/* Message 'number' formatted with the arguments, in a buffer owned by the
 * module that stays valid until the next call. */
const char *twMsgStaticVa(twMsgFileHandle *file, int number, va_list ap);

#ifdef __cplusplus
}
#endif

#endif
