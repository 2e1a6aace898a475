/* tklex.h - stream tokenizer.
 *
 * Reads one token from a stdio stream under two caller-chosen character
 * sets (skipped before the token, ending the token) and classifies it
 * against a keyword list. The stream's position and its one character of
 * push-back are the only state.
 */
#ifndef TWLIB_TEXT_TKLEX_H
#define TWLIB_TEXT_TKLEX_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A keyword record; the converter's menu keys have this layout. */
typedef struct twTklexKey {
    struct twTklexKey *next;
    char *text;       /* NUL-terminated keyword text */
    uint32_t length;  /* strlen(text) */
    int32_t code;     /* returned when a token equals text */
} twTklexKey;

/* Reads a token into buf (at most length-1 characters, NUL-terminated;
 * length must be at least 2). Returns -1 when the input ended before a
 * token began (buf unchanged), else the code of the first keyword equal to
 * the token, else 0. A read error counts as end of input. */
int32_t twTklex(FILE *stream, char *buf, int length, const char *delimiters,
                const char *skips, const twTklexKey *keywords);

/* The two steps twTklex is built from. twTklexRead returns -1 or 0;
 * twTklexMatch returns the record's code, or 0 when it is null or differs. */
int32_t twTklexRead(FILE *stream, char *buf, int length, const char *delimiters,
                    const char *skips);
int32_t twTklexMatch(const char *token, const twTklexKey *key);

#ifdef __cplusplus
}
#endif

#endif
