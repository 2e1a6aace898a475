/* tklex.h - stream tokenizer.
 *
 * Reads one token from a stdio stream under two caller-chosen character
 * sets (skipped before the token, ending the token) and classifies it
 * against a keyword list. The stream's position and its one character of
 * push-back are the only state a token leaves. Nothing is allocated,
 * reported or raised, and nothing calls back into the caller. The tokenizer
 * keeps the maps of the sets it was last given, so two threads must not
 * call it at the same time. A kept set is checked against its text at every
 * call, unless it lies in the program's own read-only data (a string
 * literal or a constant array of the executable, not of a loaded library),
 * whose text cannot change.
 */
#ifndef TWLIB_TEXT_TKLEX_H
#define TWLIB_TEXT_TKLEX_H

#include <stdio.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A keyword record; the converter's menu keys have this layout. The list
 * belongs to the caller; the tokenizer only reads it. */
typedef struct twTklexKey {
    struct twTklexKey *next;
    char *text;      /* NUL-terminated keyword text; a null text never matches */
    uint32_t length; /* strlen(text) */
    int32_t code;    /* returned when a token equals text */
} twTklexKey;

/* Reads a token from 'stream' (open for reading) into buf: skips the
 * characters of 'skips', then stores the following characters up to one of
 * 'delimiters' or the end of input, at most length - 1 of them and a NUL
 * (the rest of a longer token is read and dropped); the character that
 * ended the token is pushed back. When the first character after the skip
 * is a delimiter, it is the token and is consumed. A character in both sets
 * is skipped; a null set is empty.
 * Returns -1 when the input ended before a token began; else the code of
 * the first keyword record, from the head of 'keywords' (may be null), whose
 * text equals the token; else 0. A read error counts as end of input. With
 * a null stream or buf, or a length below 2, nothing is read or stored and
 * the result is -1. buf is left unchanged whenever the result is -1. */
int32_t twTklex(FILE *stream, char *buf, int length, const char *delimiters, const char *skips,
                const twTklexKey *keywords);

/* The two steps twTklex is built from. twTklexRead reads a token as
 * twTklex does and returns -1 or 0; twTklexMatch returns key's code when
 * the token equals key's text, and 0 when it differs or either argument is
 * null. */
int32_t twTklexRead(FILE *stream, char *buf, int length, const char *delimiters, const char *skips);
int32_t twTklexMatch(const char *token, const twTklexKey *key);

#ifdef __cplusplus
}
#endif

#endif
