/* strtok.h - string tokenizers over strings in memory.
 *
 * The caller carries the position from call to call: every tokenizer
 * returns a pointer into its string from which the next call goes on. The
 * quoting forms read tokens that may be enclosed in double quotes with
 * backslash escapes, and twStrBufUntokQuote writes text in the form they
 * read back. Separator sets are NUL-terminated strings; a null set is the
 * empty set. None of these reports an error or calls back into the caller;
 * the string-buffer forms end the process with "Out of memory." when memory
 * runs out, the others never allocate.
 */
#ifndef TWLIB_TEXT_STRTOK_H
#define TWLIB_TEXT_STRTOK_H

#include "twlib/core/base.h"
#include "twlib/text/strbuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flags of twStrBufUntokQuote. */
enum { TW_UNTOK_DOLLAR = 1, TW_UNTOK_QUOTE = 2 };

/* Skips separators, then copies the token up to the next separator or the
 * end into buf, at most size - 1 characters and a NUL (the rest of a longer
 * token is passed over). Returns the position of the character that ended
 * the token (a separator or the terminator); null when no token is left,
 * and for a null or empty s, the buffer then holding "". A null buf or a
 * size <= 0 stores nothing. */
const char *twStrTok(const char *s, char *buf, int size, const char *seps);
/* As twStrTok, the token replacing the content of buf (which may be null)
 * without length limit. */
const char *twStrBufTok(const char *s, twStrBuf *buf, const char *seps);
/* Skips separators and reads one token: one that begins with a double
 * quote runs to the next unescaped double quote (consumed) or the end, and
 * may hold separators; any other runs to the next separator or the end. A
 * backslash before a double quote or a backslash stands for that
 * character; before anything else it is kept. At most size - 1 characters
 * are stored (the rest is passed over by the same rules). Returns the
 * position after the token and the separators that follow it; null when no
 * token is left (s null, or only separators), the buffer then holding "".
 * A null buf or a size <= 0 stores nothing. */
const char *twStrTokQuote(const char *s, char *buf, int size, const char *seps);
/* As twStrTokQuote, the token replacing the content of buf (which may be
 * null) without length limit. */
const char *twStrBufTokQuote(const char *s, twStrBuf *buf, const char *seps);
/* Appends s (null counts as "") to buf without clearing it. With
 * TW_UNTOK_QUOTE every double quote and backslash is escaped with a
 * backslash, and the text is enclosed in double quotes when it is empty,
 * holds a separator or (when the backslash is a separator) holds a double
 * quote, so that the quoting tokenizers read it back as one
 * token equal to s with the same separators. With TW_UNTOK_DOLLAR every
 * dollar sign is doubled. A null buf does nothing. */
void twStrBufUntokQuote(const char *s, twStrBuf *buf, int flags, const char *seps);

#ifdef __cplusplus
}
#endif

#endif
