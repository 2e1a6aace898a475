/* types.h - type specifications: how a typed value is parsed from text,
 * printed, copied and freed.
 *
 * A value of any type travels as one word, a twTypedata: the value itself
 * (integers, enumeration indexes, masks) or a pointer to storage its
 * behaviour allocated (doubles, 64-bit integers, strings, string arrays,
 * error records...). A specification (records named ...TS) names the type,
 * points at a behaviour (a table of functions, records named ...TB) and
 * carries the behaviour's parameters (a range, enumeration names, a check).
 * Everything that stores typed values (preferences, options, conversion)
 * goes through these records only.
 *
 * Parsing delivers its result in twTypeReturnDataV and raises on bad text
 * (twlib/err/except.h, tag TW_EX_POSTCOND, a numbered message of the
 * library's catalogue "twlib"); a refused parse leaves twTypeReturnDataV
 * unchanged and nothing allocated behind. Refusals:
 *   1400 integer or 64-bit text with characters after the number (text)
 *   1401 integer out of range (text, minimum, maximum: %s %ld %ld)
 *   1402 float text empty or with characters after the number (text)
 *   1403 float out of range (text, minimum, maximum: %s %g %g)
 *   1404 no enumeration or mask name matches (text, names joined by ", ")
 *   1405 the abbreviation matches several names (text)
 *   1407 mask with bits beyond its names (text)
 *   1408 a string or file check refuses the text (type name, text)
 *   1414-1419 file checks (text), 1415 also an invalid file name
 *   1420 64-bit integer out of range (text, minimum text, maximum text)
 *
 * Specifications are reference counted; the stock ones are static records
 * with count 1, never released while copies and frees pair up.
 * Single-threaded: the one result word is process-wide.
 */
#ifndef TWLIB_PREF_TYPES_H
#define TWLIB_PREF_TYPES_H

#include "twlib/core/base.h"
#include "twlib/cvt/twint64.h"
#include "twlib/text/strbuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One word: a signed long or a pointer. */
typedef union twTypedata {
    long l;
    void *p;
} twTypedata;

/* The union holding the pointer / the long. */
twTypedata twTypePtrToTypedata(void *p);
twTypedata twTypeLongToTypedata(long l);

/* Where parse functions leave their result; read it right after the call. */
extern twTypedata twTypeReturnDataV;

typedef struct twTypeSpec twTypeSpec;

/* How format hands text over: once per piece (the mask behaviour calls it
 * once per name and separator; the mask 0 calls it not at all). 'text' is
 * valid only during the call, and is null for a missing text (a null
 * string or number pointer, a toString giving null). */
typedef void (*twTypeEmitFn)(void *emitArg, const char *text);

/* Storage kinds of a behaviour. */
enum {
    TW_TYPE_IMMEDIATE = 0, /* the word is the value */
    TW_TYPE_STORAGE = 2    /* the word points at storage released by freeValue */
};

/* A type behaviour, slots in order. Every slot is set in the stock tables
 * (the do-nothing ones below stand where nothing is to be done). */
typedef struct twTypeBehaviour {
    int32_t storage;
    /* Parses 'text' (never changed) with the specification's params; the
     * result goes to twTypeReturnDataV, owned by the caller (freeValue).
     * Raises on bad text. */
    void (*parse)(const char *text, void *params);
    /* Turns the value read through 'value' into text, calling
     * emit(emitArg, piece) for each piece. Does not raise for the stock
     * behaviours (the pointer behaviours call the params' functions). */
    void (*format)(const twTypedata *value, void *params, twTypeEmitFn emit, void *emitArg);
    /* Releases a value's storage. The params are passed because the
     * pointer behaviours take their free and copy from them; prefer
     * twTypeFreeValue / twTypeCopyValue below, which pass them. */
    void (*freeValue)(twTypedata value, void *params);
    /* A new value equal to 'value' (a new block, a new reference, or the
     * word itself). */
    twTypedata (*copyValue)(twTypedata value, void *params);
    /* Releases the specification's params when it is released. */
    void (*freeParams)(twTypeSpec *spec);
} twTypeBehaviour;

/* A type specification. Static records and records made by the caller
 * (twMemMalloc, name a pool string) are both released by twTypeTSFree. */
struct twTypeSpec {
    const char *name;                 /* by convention ending in "VT" */
    const twTypeBehaviour *behaviour; /* null: no value (void, callback, any) */
    void *params;                     /* the behaviour's parameters */
    uint32_t refCount;                /* 1 in every static specification */
};

/* ---- parameter layouts ---- */

/* twIntTB */
typedef struct twTypeIntParams {
    int32_t minimum;
    int32_t maximum;
} twTypeIntParams;

/* twInt64TB: twInt64Range (twlib/cvt/twint64.h). */
typedef twInt64Range twTypeInt64Params;

/* twFloatTB */
typedef struct twTypeFloatParams {
    double minimum;
    double maximum;
} twTypeFloatParams;

/* twEnumTB and twMaskTB: name i stands for value i, or bit i of a mask. */
typedef struct twTypeEnumParams {
    int32_t count;
    const char **names;
} twTypeEnumParams;

/* twStringTB: 'check' gets a private copy of the text, may rewrite it in
 * place (never longer) and returns nonzero to accept it; a null check
 * accepts everything. 'typeName' goes into the refusal 1408. */
typedef int (*twTypeStringCheckFn)(char *text);
typedef struct twTypeStringParams {
    twTypeStringCheckFn check;
    const char *typeName;
} twTypeStringParams;

/* twFileTB: 'check' gets the absolute path and returns nonzero to accept
 * it; 'message' is the refusal raised with the text (TW_TYPE_NO_MESSAGE:
 * 1408 with the type name and the text instead). */
typedef int (*twTypeFileCheckFn)(const char *path);
enum { TW_TYPE_NO_MESSAGE = -1 };
typedef struct twTypeFileParams {
    twTypeFileCheckFn check;
    const char *typeName;
    int32_t message;
} twTypeFileParams;

/* The pointer behaviours take their value functions from these. A value
 * is a pointer; print calls emit as format does; parse (twPointer4TB)
 * returns a new value owned by the caller or raises. */
typedef const char *(*twTypeToStringFn)(void *value);
typedef void (*twTypePrintFn)(void *value, twTypeEmitFn emit, void *emitArg);
typedef void *(*twTypeCopyFn)(void *value);
typedef void (*twTypeFreeFn)(void *value);
typedef void *(*twTypeParseFn)(const char *text);
/* twPointerTB, twPointerNoAllocTB: text = toString(value). */
typedef struct twTypePointerParams {
    twTypeToStringFn toString;
    twTypeCopyFn copy;
    twTypeFreeFn free;
} twTypePointerParams;
/* twPointer3TB, twPointerNoAlloc1TB (parse unused) and twPointer4TB. */
typedef struct twTypePointer4Params {
    twTypePrintFn print;
    twTypeCopyFn copy;
    twTypeFreeFn free;
    twTypeParseFn parse;
} twTypePointer4Params;
typedef twTypePointer4Params twTypePointer3Params;

/* ---- the stock behaviours ---- */

extern const twTypeBehaviour twIntTB;
extern const twTypeBehaviour twInt64TB;
extern const twTypeBehaviour twFloatTB;
extern const twTypeBehaviour twStringTB;
extern const twTypeBehaviour twFileTB;
extern const twTypeBehaviour twEnumTB;
extern const twTypeBehaviour twMaskTB;
extern const twTypeBehaviour twPointerNoAllocTB;
extern const twTypeBehaviour twPointerTB;
extern const twTypeBehaviour twPointer3TB;
extern const twTypeBehaviour twPointerNoAlloc1TB;
extern const twTypeBehaviour twPointer4TB;

/* ---- the stock specifications ---- */

extern twTypeSpec twIntTS;            /* "twIntVT" -2147483647 .. 2147483647 */
extern twTypeSpec twPositiveIntTS;    /* "twPositiveIntVT" 1 .. 2147483647 */
extern twTypeSpec twUnsignedIntTS;    /* "twUnsignedIntVT" 0 .. 2147483647 */
extern twTypeSpec twCharTS;           /* "twCharVT" 0 .. 1023 */
extern twTypeSpec twInt64TS;          /* "twInt64VT" full 64-bit range */
extern twTypeSpec twFloatTS;          /* "twFloatVT" -DBL_MAX .. DBL_MAX */
extern twTypeSpec twPositiveFloatTS;  /* "twPositiveFloatVT" 0 .. DBL_MAX */
extern twTypeSpec twStringTS;         /* "twStringVT" any text */
extern twTypeSpec twStringUpperTS;    /* "twStringUpperVT" upper-cased */
extern twTypeSpec twStringLowerTS;    /* "twStringLowerVT" lower-cased */
extern twTypeSpec twRestTS;           /* "twStringRestOfLineVT" */
extern twTypeSpec twRest1TS;          /* "twStringRestOfLine1VT" */
extern twTypeSpec twStringConstTS;    /* "twStringConstVT" */
extern twTypeSpec twStringNotEmptyTS; /* "twStringNotEmptyVT" non-empty text */
extern twTypeSpec twFileNameTS;       /* "twFileNameVT" a valid name; 1415 */
extern twTypeSpec twFileReadTS;       /* "twFileReadVT" readable; 1414 */
extern twTypeSpec twFileWriteTS;      /* "twFileWriteVT" writable; 1416 */
extern twTypeSpec twFileReadWriteTS;  /* "twFileReadWriteVT"; 1417 */
extern twTypeSpec twDirTS;            /* "twDirVT" a directory; 1418 */
extern twTypeSpec twDirWriteTS;       /* "twDirWriteVT" writable directory; 1419 */
extern twTypeSpec twYesNoTS;          /* "twYesNoVT" "No", "Yes" */
extern twTypeSpec twOnOffTS;          /* "twOnOffVT" "Off", "On" */
extern twTypeSpec twTrueFalseTS;      /* "twTrueFalseVT" "False", "True" */
extern twTypeSpec twVoidTS;           /* "twVoidVT" no behaviour */
extern twTypeSpec twCallbackTS;       /* "twCallbackVT" no behaviour */
extern twTypeSpec twAnyTS;            /* "twAnyVT" no behaviour */
extern twTypeSpec twTypespecTS;       /* "twTypespecVT" values are specifications */
extern twTypeSpec twStrArrayTS;       /* "twStrArrayVT" null-terminated string arrays */
extern twTypeSpec twErrTS;            /* "twErrVT" error chains (twlib/err/error.h) */
extern twTypeSpec twErrStreamTS;      /* "twErrStreamVT" error streams */
extern twTypeSpec twErrSevTS;         /* "twErrSevVT" the seven severities */
extern twTypeSpec twErrCntxTS;        /* "twErrCntxVT" the output contexts */
extern twTypeSpec twErrActionTS;      /* "twErrActionVT" "statusLine", "alertBox", "disabled" */
extern twTypeSpec twErrStyleTS;       /* "twErrStyleVT" "terse", "verbose" */
/* twPrefTS lives with the preference database (twlib/pref/pref.h) and
 * twByteBlockTS with the byte blocks (twlib/pref/convert.h). */

/* ---- operations ---- */

/* Adds a holder and returns 'spec' (null gives null). */
twTypeSpec *twTypeTSCopy(twTypeSpec *spec);
/* Removes a holder; at none the behaviour's freeParams runs, the name goes
 * with twStrFree and the record with twMemFree. A specification made by
 * twTypeCreateEnum goes as its one block, leaving the caller's name and
 * names alone. Null is ignored. */
void twTypeTSFree(twTypeSpec *spec);

/* A new enumeration specification (one block, tag "twTsEnum", count 1)
 * named 'name' over names[0 .. count): the name, the names array and its
 * strings stay the caller's and must outlive the specification. Release
 * with twTypeTSFree. A negative count, or a null names array with a count
 * above 0, raises TW_EX_PRECOND. */
twTypeSpec *twTypeCreateEnum(const char *name, const char **names, int count);

/* A new 8-byte block holding the value (free lists; tags "Double" and
 * "twInt64T"), owned by the caller; returned with the matching free (null
 * is ignored). */
double *twTypeAllocDouble(double value);
void twTypeFreeDouble(double *block);
twInt64 *twTypeAllocInt64(twInt64 value);
void twTypeFreeInt64(twInt64 *block);

/* A new null-terminated array (tag "twStrArray") of twStrCpy copies of the
 * strings of a null-terminated array, owned by the caller; null for null. */
char **twTypeStrArrayCopy(char *const *array);
/* Releases every string (twStrFree) and the array; null is ignored. */
void twTypeStrArrayFree(char **array);

/* Returns 'value'; the copyValue slot of immediate values is
 * twTypeReturnArg2, the same with the params slot. */
twTypedata twTypeReturnArg(twTypedata value);
twTypedata twTypeReturnArg2(twTypedata value, void *params);
/* The parse of behaviours whose values cannot be written as text: stores a
 * null value in twTypeReturnDataV. */
void twNullTypedataProc(const char *text, void *params);
/* The do-nothing freeValue and freeParams (twDummyProc takes no
 * arguments, so it cannot stand in these slots on this platform). */
void twTypeNullFree(twTypedata value, void *params);
void twTypeNullFreeParams(twTypeSpec *spec);

/* ---- conveniences over a specification ---- */

/* Parses 'text' with the specification and returns the value (also left
 * in twTypeReturnDataV), owned by the caller (twTypeFreeValue). A
 * specification without behaviour gives a null value. Raises as the
 * behaviour's parse does. */
twTypedata twTypeParse(const twTypeSpec *spec, const char *text);
/* Appends the value's text to 'buf'. Returns 1, or 0 (buf unchanged) for a
 * specification without behaviour. Raises only where a pointer
 * behaviour's own function raises. */
int twTypeAppendText(const twTypeSpec *spec, const twTypedata *value, twStrBuf *buf);
/* A copy of the value (the value itself without behaviour). */
twTypedata twTypeCopyValue(const twTypeSpec *spec, twTypedata value);
/* Releases the value's storage; nothing for immediate values, a
 * specification without behaviour or a null storage pointer. */
void twTypeFreeValue(const twTypeSpec *spec, twTypedata value);

#ifdef __cplusplus
}
#endif

#endif
