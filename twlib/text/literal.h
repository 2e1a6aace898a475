/* literal.h - source-style literals and the character-set selector.
 *
 * Decoding reads text written as in source code (between quotes, with
 * backslash escapes) back into its characters; encoding writes any text as
 * printable ASCII with the same escapes, so that decoding the encoding of a
 * text gives the text back.
 *
 * Escapes read after a backslash: n t b r f v for newline, tab, backspace,
 * carriage return, form feed and vertical tab; one to three octal digits
 * for the byte of that value (a digit that would take the value past 255 is
 * left as text); a newline for nothing (a line continuation); any other
 * character for itself (so \\, \" and \' are the backslash and the quotes).
 *
 * Escapes written: \b \t \n \v \f \r, \" and \\; every other byte below
 * 32, the byte 127 and every byte from 128 up as a backslash and exactly
 * three octal digits; everything else (the single quote too) as itself.
 */
#ifndef TWLIB_TEXT_LITERAL_H
#define TWLIB_TEXT_LITERAL_H

#include "twlib/text/strbuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The selected character set, 1 (initially) or 2, for the callers that
 * consult it; nothing in this module depends on it. */
extern int twStrCvtChrsetIs;

/* Selects character set 1 or 2 and returns 1; any other number returns 0
 * and leaves the selection as it was. */
int twStrCvtChrset(int set);

/* Decodes one literal of 'src' into 'dst' (size bytes; always terminated
 * unless the result is null for a bad argument). The delimiters:
 *   - openQuote non-zero: everything before its first occurrence is
 *     skipped, and the literal runs to the next occurrence;
 *   - else closeChar non-zero: the literal starts at src and runs to the
 *     first closeChar;
 *   - else a leading ' or " opens the literal and closes it; any other first
 *     character starts a literal that runs to the end of src.
 * At most size-1 source steps are taken (an escape, a line continuation
 * included, is one step). Returns the position in src just past what was
 * consumed: past the closing delimiter, at the end of src when there is
 * none, or inside the literal when the room ran out first (a closing
 * delimiter that comes right when the room is used up is still consumed).
 * A null src or dst, or a size below 1, gives null and writes nothing; an
 * opening quote that src lacks, or a closing delimiter that never comes,
 * gives null with dst terminated (emptied, or holding what was decoded).
 * A backslash at the very end of src stores a NUL byte. */
const char *twStrCvtFromLiteral(const char *src, char *dst, int size, int openQuote, int closeChar);

/* Decodes the whole of 'src', escapes only (quotes are ordinary
 * characters), into a new string buffer that the caller destroys with
 * twStrBufDestroy. A backslash at the very end adds nothing; an escape of
 * value 0 adds a NUL byte, which the buffer's length counts though its text
 * read as a C string ends there. Null for a null src. */
twStrBuf *twStrCvtFromLiteralAlloc(const char *src);

/* Encodes 'src' into 'dst' (size bytes, always terminated), stopping at the
 * first escape or character that does not fit whole together with the
 * terminator. Returns dst; null, writing nothing, when src or dst is null
 * or size is below 1. */
char *twStrCvtToAscii(const char *src, char *dst, int size);

/* Encodes the whole of 'src' into a new string buffer that the caller
 * destroys with twStrBufDestroy. Null for a null src. */
twStrBuf *twStrCvtToAsciiAlloc(const char *src);

#ifdef __cplusplus
}
#endif

#endif
