/* msgfile.h - numbered messages kept in binary message files.
 *
 * A program opens a message file ("<name>.tmb", found through the file
 * search) by name and gets a handle; opening a name that is already open
 * checks the new expectations, counts one more open and returns the same
 * handle. Messages are looked up by number, formatted printf-style and
 * handed to a copy function. Recently used texts are kept in a cache of 80
 * entries; a closed file's texts are never found under a later handle.
 *
 * Every failure is an exception: TW_EX_PRECOND for a handle that is not
 * open or a missing name, TW_EX_POSTCOND otherwise. Failures of the
 * library's own file "twlib" are Fatal errors with built-in texts, since
 * they cannot be described by its messages.
 *
 * Process-wide settings, read at the first open: TW_MSGFILEDBG (present: a
 * missing message yields a diagnostic text instead of an exception) and
 * TW_MSGNOVERSION (present: a failed version check is only a warning).
 */
#ifndef TWLIB_ERR_MSGFILE_H
#define TWLIB_ERR_MSGFILE_H

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twMsgFileHandle twMsgFileHandle;

/* A copy function: receives 'data' and a text that is only valid during
 * the call; its result is the result of the call that invoked it. It may
 * raise; the module keeps nothing of its own in flight when it does. */
typedef int (*twMsgCopyFn)(void *data, const char *text);

/* Buffer descriptor for twMsgCopyToBuffer. */
typedef struct twMsgBufferDesc {
    size_t size; /* bytes at 'buffer', terminating zero included */
    char *buffer;
} twMsgBufferDesc;

/* Opens message file 'name' (base name, without ".tmb") and returns its
 * handle, never null. Owner, release and the versions ("major.minor.patch",
 * parts may be left out) may be null, which skips that check; versions are
 * compared as ordered (major, minor, patch) triples. Raises 1001
 * (TW_EX_PRECOND) for a null name, 1002-1006 when the file cannot be made,
 * found, opened or read, 1007 when a check fails (a Warning only, and the
 * file accepted, under TW_MSGNOVERSION). A failed reopen leaves the count
 * unchanged. */
twMsgFileHandle *twMsgFileOpen(const char *name, const char *owner, const char *release,
                               const char *minVersion, const char *maxVersion);
/* Counts one open less; the last close frees the handle and forgets its
 * cached texts. A handle that is not open (null included) is ignored. */
void twMsgFileClose(twMsgFileHandle *file);
/* The library's own message file "twlib" (owner "twlib", release "5.0",
 * minimum version "5.0.0"), opened at the first call and kept open. When
 * the search finds no file, the copy compiled into the library is used. */
twMsgFileHandle *twMsgFile(void);
/* The name the handle was opened under; raises 1020 (TW_EX_PRECOND) for a
 * handle that is not open. */
const char *twMsgGetFilename(twMsgFileHandle *file);
/* The owner expected at the first open (null when none was given), or
 * null for a handle that is not open. */
const char *twMsgGetOwner(twMsgFileHandle *file);
/* The full path the file was read from (for the compiled-in copy, the
 * name with ".tmb" inside angle brackets), or null for a handle that is
 * not open. Valid while the file stays open. */
const char *twMsgGetPath(twMsgFileHandle *file);

/* Looks message 'number' up and returns copy(data, raw text). Raises 1020
 * (TW_EX_PRECOND) for a handle that is not open; 1021 when the message is
 * missing (in debug mode the copy function gets a diagnostic text
 * instead); 1022/1023 when it cannot be read. */
int twMsgText(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data);
/* Formats the message with the arguments (twSprintf conversions) and
 * returns copy(data, formatted text). Raises as twMsgText does, and passes
 * on a formatting failure. */
int twMsgGenerateVa(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data, va_list ap);
int twMsgGenerate(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data, ...);

/* Copy function: 'data' is a char ** that receives a pool copy (twStrCpy)
 * of the text, which the caller frees with twStrFree. Returns 0. */
int twMsgCopyAlloc(void *data, const char *text);
/* Copy function: 'data' is a twMsgBufferDesc; copies at most size - 1
 * characters and a zero byte (nothing for size 0). Returns 1 when the text
 * was cut (its length is at least the size), else 0. */
int twMsgCopyToBuffer(void *data, const char *text);

/* The formatted text as a new pool string; the caller frees it with
 * twStrFree. Raises as twMsgGenerateVa. */
char *twMsgAlloc(twMsgFileHandle *file, int number, ...);
/* The formatted text in the caller's buffer of 'size' bytes; returns 1 when
 * it was cut, else 0. */
int twMsgBuffer(twMsgFileHandle *file, int number, size_t size, char *buffer, ...);
/* The formatted text in the module's static buffer, valid until the next
 * call of either. Raises as twMsgGenerateVa. */
const char *twMsgStatic(twMsgFileHandle *file, int number, ...);
const char *twMsgStaticVa(twMsgFileHandle *file, int number, va_list ap);

/* ---- the library's compiled-in catalogues ----
 *
 * The build compiles the library's own catalogues (twlib, tslib) and
 * generates a source file DEFINING twMsg_BuiltinCatalogue: for a catalogue
 * name it returns the bytes of the compiled .tmb file (descriptor included)
 * and stores their count in *size, or returns null for a name it does not
 * hold. The bytes are static and never freed.
 *
 * This module never calls it directly, so the library links without the
 * generated source: twlib/wiring.cpp installs it with
 * twMsg_SetBuiltinCatalogues. A file the search finds always comes first;
 * the compiled-in copy is used only when the search finds none. */
const unsigned char *twMsg_BuiltinCatalogue(const char *name, size_t *size);

typedef const unsigned char *(*twMsgBuiltinFn)(const char *name, size_t *size);
/* Installs the lookup of compiled-in catalogues (null: none) and returns
 * the previous one. */
twMsgBuiltinFn twMsg_SetBuiltinCatalogues(twMsgBuiltinFn fn);

#ifdef __cplusplus
}
#endif

#endif
