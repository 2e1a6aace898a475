/* sprintf.h - the library's printf engine.
 *
 * Formats never write past the caller's buffer and always tell the length
 * the complete output needs.
 */
#ifndef TWLIB_TEXT_SPRINTF_H
#define TWLIB_TEXT_SPRINTF_H

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Formats into buf (size bytes, always terminated when size > 0); returns
 * the length written, or -1 when the output did not fit. */
int twSprintf(char *buf, int size, const char *fmt, ...);
int twSprintfVa(char *buf, int size, const char *fmt, va_list ap);
/* The text in a shared result buffer, valid until the next call of a static
 * or alloc formatter; an argument may be an earlier result. Null for a null
 * format. */
char *twSprintfStatic(const char *fmt, ...);
char *twSprintfStaticVa(const char *fmt, va_list ap);

#ifdef __cplusplus
}
#endif

#endif
