/* strtok.h - string tokenizers over strings in memory.
 *
 * The caller carries the position from call to call. The quoting forms read
 * tokens that may be enclosed in double quotes with backslash escapes, and
 * twStrBufUntokQuote writes text in the form they read back.
 */
#ifndef TWLIB_TEXT_STRTOK_H
#define TWLIB_TEXT_STRTOK_H

#include "twlib/text/strbuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of twStrBufUntokQuote. */
enum { TW_UNTOK_DOLLAR = 1, TW_UNTOK_QUOTE = 2 };

/* Position of the character that ended the token; null when none is left. */
const char *twStrTok(const char *s, char *buf, int size, const char *seps);
const char *twStrBufTok(const char *s, twStrBuf *buf, const char *seps);
/* Position after the token and the separators that follow it; null when
 * no token is left. */
const char *twStrTokQuote(const char *s, char *buf, int size, const char *seps);
const char *twStrBufTokQuote(const char *s, twStrBuf *buf, const char *seps);
void twStrBufUntokQuote(const char *s, twStrBuf *buf, int flags, const char *seps);

#ifdef __cplusplus
}
#endif

#endif
