/* strbuf.h - growable, always NUL-terminated text.
 *
 * The text is a pool string, the record a free-list piece. Growth doubles
 * the needed length, so appending n characters one by one is O(n). A text
 * that would exceed INT_MAX - 1 characters stops the process as exhausted
 * memory does. Appending a null string changes nothing; a buffer may append
 * its own text.
 */
#ifndef TWLIB_TEXT_STRBUF_H
#define TWLIB_TEXT_STRBUF_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twStrBuf twStrBuf;

twStrBuf *twStrBufCreate(int capacity);
void twStrBufDestroy(twStrBuf *buf);                   /* null is ignored */
void twStrBufAppend(twStrBuf *buf, const char *s);
void twStrBufAppendN(twStrBuf *buf, const char *s, int n);
int twStrBufAppendChar(twStrBuf *buf, int c);          /* the new length */
twStrBuf *twStrBufAppendStrings(twStrBuf *buf, ...);   /* strings, then a null */
int twStrBufLength(const twStrBuf *buf);
char *twStrBufString(const twStrBuf *buf);             /* valid until growth */
void twStrBufClear(twStrBuf *buf);
void twStrBufRemoveN(twStrBuf *buf, int n);

#ifdef __cplusplus
}
#endif

#endif
