/* base.h - the bottom of the library: compiler marks, the shared callback
 * types and the result codes of the file-system operations.
 *
 * Every public header includes this one (directly or through a header of its
 * own layer) instead of reaching for a module's header just to borrow a
 * macro or a type. It includes nothing of the library.
 */
#ifndef TWLIB_CORE_BASE_H
#define TWLIB_CORE_BASE_H

#include <stddef.h>
#include <stdint.h>

/* Marks calls that end the process or jump away, in C and C++ callers. */
#ifdef __cplusplus
#define TW_NORETURN [[noreturn]]
#else
#define TW_NORETURN _Noreturn
#endif

/* Marks the few dispatch points that call a callback registered through a
 * generic function-pointer type (exit handlers, say), where clang's
 * function-type check would otherwise object to a well-defined-by-ABI call. */
#if defined(__clang__)
#define TW_NO_SANITIZE_FUNCTION __attribute__((no_sanitize("function")))
#else
#define TW_NO_SANITIZE_FUNCTION
#endif

/* printf-style format checking on the library's own formatting calls. */
#if defined(__GNUC__)
#define TW_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define TW_PRINTF_LIKE(fmt, first)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A procedure without arguments whose result is ignored: purge routines,
 * the cleanup procedure, fatal handlers. twDummyProc is one. */
typedef int (*twProc)(void);

/* Results of the file-system operations (ts*): 0 success, else one of
 * these. Each operation's header says which of them it gives and when. */
enum {
    TS_OK = 0,
    TS_ERR_PATH = 2,     /* path too long, malformed or not made absolute */
    TS_ERR_NOTFOUND = 4, /* not found, not available or of the wrong kind */
    TS_ERR_CREATE = 5,   /* cannot be created, or exists already */
    TS_ERR_INVALID = 7   /* invalid name or argument, or no permission */
};

/* Path buffers of the file-system operations hold this many bytes. */
enum { TS_PATH_SIZE = 256 };

#ifdef __cplusplus
}
#endif

#endif
