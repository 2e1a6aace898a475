/* regexp.h - regular expressions compiled to a compact program.
 *
 * An expression is compiled once into a block of the memory manager (tag
 * "twRegexpT") and matched against zero-terminated subjects; a match reports
 * the whole match (index 0) and up to nine groups (1..9).
 *
 * This first version understands the plain subset that the file search
 * needs: ordinary characters, a backslash quoting the next character, and
 * "^" / "$" matching only at the start / end of the subject wherever they
 * stand. Every other special character (. [ ( ) | ? + *) and a null
 * pattern are refused: the refusal is reported as a fatal error and ends
 * the process.
 */
#ifndef TWLIB_REGEXP_REGEXP_H
#define TWLIB_REGEXP_REGEXP_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twRegexpT twRegexpT;

/* Filled by twRegexpExec: pointers into the subject; start[0]/end[0] is the
 * whole match, 1..9 the groups; a null pointer marks an unset group. */
typedef struct twRegexpMatch {
    const char *start[10];
    const char *end[10];
} twRegexpMatch;

/* Never returns null; a pattern it cannot compile ends the process. */
twRegexpT *twRegexpCompile(const char *pattern);
/* Frees the block; null is ignored. */
void twRegexpDestroy(twRegexpT *re);
/* 1 when the expression matches somewhere in the subject (the match record,
 * when given, then holds the leftmost match), else 0. */
int twRegexpExec(const twRegexpT *re, twRegexpMatch *match, const char *subject);

#ifdef __cplusplus
}
#endif

#endif
