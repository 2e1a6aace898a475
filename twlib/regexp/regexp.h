/* regexp.h - regular expressions compiled to a compact node program.
 *
 * An expression is compiled once into one block of the memory manager (tag
 * "twRegexpT") and matched by backtracking against zero-terminated subjects;
 * a match reports the whole match (index 0) and up to nine groups (1..9, in
 * the order of their opening parentheses). Matches can be substituted into a
 * replacement template.
 *
 * Syntax: branches separated by "|" (a branch may be empty); a piece is an
 * atom optionally followed by one of "*", "+", "?"; an atom is "(" expression
 * ")", ".", "^", "$", a bracket class, a backslash followed by any character
 * (that character literally), or a run of ordinary characters. Exactly these
 * eleven characters are special outside classes: ^ $ . [ ( ) | ? + * and the
 * backslash. "^" and "$" anchor to the start and end of the subject wherever
 * they stand. A class is "[", an optional "^", then a "]" or "-" standing
 * first is literal; "a-z" adds every byte from a to z; a "-" right before
 * "]" is literal; there are no escapes inside a class. There are no
 * repetition counts, no back-references, no locale.
 *
 * Failures are raised as exceptions (tag 2, severity Error, context name
 * "twRegexp") with a fixed text; until a catch frame takes them they end the
 * process. Nothing here is reentrant in the sense of sharing a compiled
 * expression across threads; there is one thread.
 */
#ifndef TWLIB_REGEXP_REGEXP_H
#define TWLIB_REGEXP_REGEXP_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A compiled expression. The fields are read-only for callers.
 *
 * The program is a sequence of nodes after the magic byte 156: one opcode
 * byte, a two-byte offset to the next node (high byte first; 0: no next
 * node; LOOP_BACK counts backwards, every other opcode forwards, both from
 * the node's own first byte), then the operand (a zero-terminated string for
 * LITERAL, IN_SET and NOT_IN_SET, nothing for the others). */
typedef struct twRegexpT {
    char firstChar;          /* when nonzero, every match begins with it */
    char anchored;           /* nonzero: the expression only matches at the subject's start */
    const char *mustContain; /* a literal in the program that every match contains, or null */
    int mustLength;          /* its length */
    unsigned char program[]; /* program[0] is 156 */
} twRegexpT;

/* Node opcodes of the program. */
enum {
    TW_RE_FINISH = 0,        /* end of program: success */
    TW_RE_SUBJECT_START = 1, /* only at the start of the subject */
    TW_RE_SUBJECT_END = 2,   /* only at the end of the subject */
    TW_RE_ANY_CHAR = 3,      /* any one character */
    TW_RE_IN_SET = 4,        /* one character of the operand */
    TW_RE_NOT_IN_SET = 5,    /* one character not in the operand (not the end) */
    TW_RE_ALTERNATIVE = 6,   /* try the node after it; on failure the next ALTERNATIVE */
    TW_RE_LOOP_BACK = 7,     /* jumps back to close a loop; matches nothing */
    TW_RE_LITERAL = 8,       /* the operand literally */
    TW_RE_EMPTY = 9,         /* the empty string */
    TW_RE_ZERO_OR_MORE = 10, /* the following simple node, 0 or more times, greedily */
    TW_RE_ONE_OR_MORE = 11,  /* the following simple node, 1 or more times, greedily */
    TW_RE_GROUP_START = 20,  /* + n (1..9): group n starts here */
    TW_RE_GROUP_END = 30,    /* + n (1..9): group n ends here */
    TW_RE_MAGIC = 156        /* first byte of every program */
};

/* Filled by twRegexpExec, owned by the caller: pointers into the subject;
 * start[0]/end[0] is the whole match, 1..9 the groups; a null pointer marks
 * a group that did not take part. */
typedef struct twRegexpMatch {
    const char *start[10];
    const char *end[10];
} twRegexpMatch;

/* Compiles 'pattern' into a new block (tag "twRegexpT") that the caller
 * releases with twRegexpDestroy. Never returns null. Raises "NULL argument"
 * for a null pattern, "regexp too big" for a program of 32767 bytes or more,
 * and a syntax message for a malformed pattern: "too many ()",
 * "unmatched ()", "junk on end", "*+ operand could be empty", "nested *?+",
 * "invalid [] range", "unmatched []", "?+* follows nothing", "trailing \"
 * (a pattern ending in a backslash). A failed compile leaves no block. */
twRegexpT *twRegexpCompile(const char *pattern);

/* Frees the block; null is ignored. */
void twRegexpDestroy(twRegexpT *re);

/* 1 when the expression matches somewhere in 'subject', else 0. On 1 the
 * match record (optional: may be null) holds the leftmost match, earlier
 * alternatives and longer repetitions winning at the same start; a group
 * inside a repetition reports its last iteration. On 0 the record is
 * cleared. Raises "NULL parameter" for a null expression or subject,
 * "corrupted program" when the magic byte is missing, and "memory
 * corruption", "corrupted pointers" or "internal foulup" for a damaged
 * program, and "backtrack stack overflow" when the backtracking stack would
 * pass 2 GB. Backtracking uses a stack of its own on the heap, so long
 * subjects cannot exhaust the machine stack; once a search has backtracked
 * a lot it remembers which (node, position) pairs failed (within a 32 MB
 * budget), so nested repetitions such as (a|a)*b do not take exponential
 * time. */
int twRegexpExec(const twRegexpT *re, twRegexpMatch *match, const char *subject);

/* Writes 'templ' into 'dest' with substitutions and terminates it: "&" is
 * the whole match, a backslash and a digit 0-9 that group, a backslash
 * before a backslash or "&" that character alone; any other backslash is
 * copied as it is. An unset group inserts nothing. The destination must be
 * large enough: its length is not checked (use twRegexpReplaceN where the
 * result size is not known beforehand). Raises "NULL parm to
 * twRegexpReplace" when the expression, match, template or destination is
 * null, "damaged regexp fed to twRegexpReplace" for a program without its
 * magic byte, and "damaged match string" when a sub-match holds a zero byte
 * before its end or ends before it starts. */
void twRegexpReplace(const twRegexpT *re, const twRegexpMatch *match, const char *templ, char *dest);

/* As twRegexpReplace, but writes at most size-1 characters and always
 * terminates 'dest' when size > 0 (dest may be null only when size is 0).
 * Returns the length of the whole result without its terminator: the
 * result was cut when that is size or more. Raises as twRegexpReplace. */
size_t twRegexpReplaceN(const twRegexpT *re, const twRegexpMatch *match, const char *templ, char *dest,
                        size_t size);

/* A new pool string (twStrAlloc; the caller releases it with twStrFree)
 * holding sub-match n, or null when it is unset or empty. A null record or
 * an n outside 0..9 counts as unset. */
char *twRegexpGetMatchAlloc(const twRegexpMatch *match, int n);

/* Copies sub-match n into 'buffer' and terminates it: 1 when it fitted, -1
 * when it had to be cut to size-1 characters, 0 (with an empty buffer when
 * size > 0) when the sub-match is unset or empty. A null record or an n
 * outside 0..9 counts as unset; with size <= 0 or a null buffer nothing is
 * written. */
int twRegexpGetMatch(const twRegexpMatch *match, int n, char *buffer, int size);

#ifdef __cplusplus
}
#endif

#endif
