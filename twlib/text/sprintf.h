/* sprintf.h - the library's printf engine.
 *
 * Formats are parsed by the engine itself, one conversion specification at
 * a time, so that a bad format is refused instead of printing garbage,
 * arguments can be taken by position (%2$s, %1$*2$d) and 64-bit integers
 * print with %Ld, %Lx and the like (the argument is one int64_t).
 *
 * The conversions are those of C's printf: d i o u x X (with h, l or L),
 * e E f g G (optionally with l), c, s, p, and n (with h or l), with the
 * flags "-+ #0", a width and a precision, each a number, "*" or "*m$".
 * Where this engine differs from C:
 *   - "#" is refused unless the conversion is o, x, X, e, E, f, g or G, and
 *     a precision unless it is d i o u x X e E f g G or s;
 *   - sequential and positional references may not be mixed, positional
 *     ones must use every position from 1 to the highest and give each
 *     position one argument type;
 *   - a width or precision above INT_MAX is refused, and so is a
 *     specification whose flags, width and precision run over 128
 *     characters;
 *   - a negative width or precision taken from an argument counts as 0;
 *   - %p prints like %#lx (0x and lower-case digits; a null pointer as 0),
 *     a null string prints as nothing;
 *   - only %hn and %ln are taken (plain %n is refused); they store the
 *     number of characters produced so far, counting what did not fit.
 * A refused format raises library message 1600 with the whole format as
 * its argument (tag 2, routine "twSprintf"); the call does not return.
 */
#ifndef TWLIB_TEXT_SPRINTF_H
#define TWLIB_TEXT_SPRINTF_H

#include <stdarg.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------ */
/* Formatting                                                          */
/* ------------------------------------------------------------------ */

/* Formats into buf, which holds size bytes. Returns 0 when the whole output
 * and its NUL fitted, else -1 with the output cut to size-1 characters and
 * terminated; never writes past buf+size. When needed is not null it
 * receives the length of the complete output + 1, at most INT_MAX (an
 * output that needs INT_MAX bytes or more gives INT_MAX). A null buf or
 * format or a size below 1 gives -1 and leaves buf and needed alone. A
 * refused format raises 1600 (the buffer then holds what was formatted
 * before the refusal). */
int twSprintfVa2(char *buf, int size, int *needed, const char *format, va_list ap);
int twSprintf2(char *buf, int size, int *needed, const char *format, ...);
int twSprintf(char *buf, int size, const char *format, ...);
int twSprintfVa(char *buf, int size, const char *format, va_list ap);

/* The text in a result buffer owned by the engine, valid until the next
 * call of a static or alloc formatter; an argument may be an earlier
 * result. Null for a null format. Output of INT_MAX bytes or more raises
 * 1600 like a refused format. */
char *twSprintfStatic(const char *format, ...);
char *twSprintfStaticVa(const char *format, va_list ap);

/* The text as a new pool string that the caller releases with twStrFree.
 * Null for a null format. Overwrites the static result like
 * twSprintfStatic. */
char *twSprintfAlloc(const char *format, ...);
char *twSprintfAllocVa(const char *format, va_list ap);

/* The floor's formatter (twFormatFn of twlib/core/fault.h): formats into
 * buf (size bytes, terminated when size > 0; buf may be null when size is
 * 0) and returns the length of the complete output, or -1 for a null
 * format or an output of INT_MAX bytes or more. A refused format raises. */
int twSprintf_FormatVa(char *buf, size_t size, const char *format, va_list ap);

/* ------------------------------------------------------------------ */
/* Parsing                                                             */
/* ------------------------------------------------------------------ */

/* Kinds of descriptor, the bits that mark a width or precision taken from
 * an argument ("*" or "*m$"), and the argument type codes of twSpFmtArgIs
 * (one enumeration, so that a code and the star bits combine freely). */
enum {
    TW_SPFMT_INVALID = 1, /* a specification the engine refuses */
    TW_SPFMT_TEXT = 2,    /* literal text ("%%" already made "%") */
    TW_SPFMT_CONV = 3,    /* a conversion specification */
    TW_SPFMT_KIND = 0x3,
    TW_SPFMT_STAR_WIDTH = 0x4000,
    TW_SPFMT_STAR_PRECISION = 0x8000,

    TW_SPARG_NONE = 0,
    TW_SPARG_INT = 1,       /* d i o u x X */
    TW_SPARG_SHORT = 2,     /* hd ... hX, passed as int */
    TW_SPARG_LONG = 3,      /* ld ... lX */
    TW_SPARG_DOUBLE = 4,    /* e E f g G, also with l */
    TW_SPARG_CHAR = 6,      /* c, passed as int */
    TW_SPARG_STRING = 7,    /* s */
    TW_SPARG_POINTER = 8,   /* p */
    TW_SPARG_INT64 = 9,     /* Ld ... LX: one int64_t */
    TW_SPARG_NINT = 0x10,   /* n: int * */
    TW_SPARG_NSHORT = 0x20, /* hn: short * */
    TW_SPARG_NLONG = 0x30   /* ln: long * */
};

/* What the parse hands to its callback. Every string lives in the parse's
 * scratch area (or the format) and is valid only during that callback. */
typedef struct twSpFmtDesc {
    const char *format; /* the whole format */
    const char *cursor; /* where in the format this piece starts ("%" of
                            a specification; the format itself for a gap in
                            the positions) */
    char *text;         /* literal text (kind 2) or the specification's own
                            text, e.g. "%-5.2f" (kind 3) */
    char *work;         /* next free byte of the scratch area */
    char *flags;        /* kind 3: the flags, possibly ""; else null */
    char *conv;         /* kind 3: the conversion, e.g. "ld", "hn", "Lx" */
    int scratchSize;    /* bytes in the scratch area */
    uint32_t kind;      /* bits 0-1 the kind; TW_SPFMT_STAR_* */
    int position;       /* n of "%n$", or -1 */
    int width;          /* the number, m of "*m$" (star bit set), or -1 */
    int precision;      /* the number (0 for a bare "."), m of ".*m$"
                            (star bit set), or -1 when absent */
} twSpFmtDesc;

/* Called for each piece of the format; returns 0 to stop the parse. May
 * call the formatters and the parser again; must not keep the descriptor
 * or its strings. A callback may raise: the parse then releases its
 * scratch area on the way out. */
typedef int (*twSpFmtParseFn)(const twSpFmtDesc *desc, void *user);

/* Walks the format and calls fn for each literal text (kind 2) and each
 * conversion specification (kind 3); an empty format gives one literal "".
 * A specification the engine refuses (see the top of this file) gives one
 * kind-1 call and ends the parse. Returns the last callback result: 0 as
 * soon as a callback returns 0, and 0 for a null format or fn. */
int twSpFmtParse(const char *format, twSpFmtParseFn fn, void *user);

/* Descriptor accessors. A null descriptor gives 0, null or -1. */
int twSpFmtDescIs(const twSpFmtDesc *desc);          /* the kind: 1, 2 or 3 */
const char *twSpFmtOrigStr(const twSpFmtDesc *desc); /* the whole format */
/* Kind 1: the format from the refused "%" on; kinds 2 and 3: the text. */
const char *twSpFmtDescStr(const twSpFmtDesc *desc);
/* Kind 3: the TW_SPARG_* code with the TW_SPFMT_STAR_* bits; else 0. */
int twSpFmtArgIs(const twSpFmtDesc *desc);
const char *twSpFmtArgFlags(const twSpFmtDesc *desc); /* null unless kind 3 */
const char *twSpFmtArgConv(const twSpFmtDesc *desc);  /* null unless kind 3 */
int twSpFmtArgPosition(const twSpFmtDesc *desc);      /* -1 unless kind 3 */
int twSpFmtArgWidth(const twSpFmtDesc *desc);         /* -1 unless kind 3 */
/* -1 unless kind 3; a precision of 0 with a g or G conversion counts as 1,
 * as it does when printing. */
int twSpFmtArgPrecision(const twSpFmtDesc *desc);

#ifdef __cplusplus
}
#endif

#endif
