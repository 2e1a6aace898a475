/* chars.h - the character classes the text modules share (internal).
 *
 * White space is the C space class whatever the locale: blank, tab,
 * newline, vertical tab, form feed and carriage return. Digits are the ASCII
 * decimal digits. Unlike <ctype.h>, these accept any char value (negative
 * ones included: they belong to neither class) and never consult the locale.
 * Not part of the installed interface; plain C so that any layer above the
 * text may use it.
 */
#ifndef TWLIB_TEXT_CHARS_H
#define TWLIB_TEXT_CHARS_H

/* 1 when c is blank, tab, newline, vertical tab, form feed or carriage
 * return, else 0. */
static inline int tw_IsWhite(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/* 1 when c is one of '0' to '9', else 0. */
static inline int tw_IsDigit(int c)
{
    return c >= '0' && c <= '9';
}

#endif
