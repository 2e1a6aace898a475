/* menu_lexer.h - words, integers, quoted strings and keywords of a
 * menu-definition file.
 *
 * Every reader takes its text from reader.stream, leaves the raw text of the
 * last token in reader.token and drops comments ("|" to the end of the line)
 * wherever a token may begin. String destinations receive at most size-1
 * characters and a NUL.
 */
#ifndef PAGELIFT_MENU_LEXER_H
#define PAGELIFT_MENU_LEXER_H

// 0 after a word was copied; otherwise TOK_END, TOK_OPEN, TOK_CLOSE or a quote
// code (destination untouched).
int readWord(char *dst, int size);
// 0 after an integer (a word beginning with a decimal digit) was stored; for
// another word the value of its first character as a signed 8-bit number,
// or TOK_NOT_INT when that value would read as a token code; otherwise
// TOK_END, TOK_OPEN, TOK_CLOSE or a quote code.
int readInt(int *dst);
// 0 after a word or a quoted string was copied; otherwise TOK_END, TOK_OPEN
// or TOK_CLOSE.
int readString(char *dst, int size);
// 0 after an integer was stored; TOK_STRING after a word was copied; the
// quote's code after a quoted string was copied; otherwise TOK_END,
// TOK_OPEN or TOK_CLOSE.
int readIntOrString(char *dst, int size, int *num);
// Consumes the input up to and including the keyword's character: 1, or 0
// when the input ended first.
int skipPast(int code);
// Consumes the rest of a comment line, newline included.
void skipComment();

#endif
