/* msgfile.h - the file-system library's own message file.
 *
 * The one part of the file-system library that sits in the error layer's
 * upper half: the messages its raising calls (tsParseEx) build their errors
 * from.
 */
#ifndef TSLIB_MSGFILE_H
#define TSLIB_MSGFILE_H

#include "twlib/core/base.h"
#include "twlib/err/msgfile.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The message file "tslib", opened with the owner name "tslib" at the first
 * call (the copy compiled into the library when the search finds no file);
 * every call returns the same handle. Never null; raises as twMsgFileOpen
 * when the file cannot be opened. The handle belongs
 * to the library and stays open for the process's life: callers must not
 * close it. */
twMsgFileHandle *tsMsgFile(void);

#ifdef __cplusplus
}
#endif

#endif
