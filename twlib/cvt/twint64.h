/* twint64.h - signed 64-bit integers: power, reading and writing.
 *
 * Values are two's-complement and arithmetic wraps modulo 2^64; nothing here
 * detects overflow. The reader takes any base from 2 to 16 (and, since it
 * never limits the base, letters up to z for larger ones); the writer knows
 * the printf flags, width and precision and writes into one process-wide
 * result buffer.
 */
#ifndef TWLIB_CVT_TWINT64_H
#define TWLIB_CVT_TWINT64_H

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int64_t twInt64;

/* A closed range of 64-bit values; the default limits of the 64-bit type. */
typedef struct twInt64Range {
    twInt64 minimum;
    twInt64 maximum;
} twInt64Range;

/* INT64_MIN .. INT64_MAX. */
extern const twInt64Range twInt64FullRange;

/* Writer flag bits. The sign field (0x700) holds one of the sign values and
 * the justification field (0xF0) one of the justification values; other
 * field values give no sign character and no padding respectively. */
enum {
    TW_INT64_UNSIGNED = 0x1,  /* the bits as an unsigned number; no sign */
    TW_INT64_UPPER = 0x2,     /* A-F and the prefix "0X" */
    TW_INT64_RIGHT = 0x00,    /* justification: blanks on the left */
    TW_INT64_LEFT = 0x10,     /* justification: blanks on the right */
    TW_INT64_ZEROFILL = 0x20, /* justification: zeros after sign and prefix */
    TW_INT64_JUSTIFY = 0xF0,  /* the justification field */
    TW_INT64_PLUS = 0x100,    /* sign: '+' before a non-negative value */
    TW_INT64_BLANK = 0x200,   /* sign: ' ' before a non-negative value */
    TW_INT64_SIGN = 0x700,    /* the sign field */
    TW_INT64_ALT = 0x800      /* alternate form: "0" for base 8, "0x" for 16 */
};

/* base to the power exponent, wrapping modulo 2^64; any base to the power 0
 * is 1. A negative exponent is an assertion failure (the process ends). */
twInt64 twInt64Pow(twInt64 base, twInt64 exponent);

/* Reads a value from text: white space, an optional '-' (no '+'), then
 * digits. Base 0 reads a "0x" prefix as hexadecimal, another leading '0' as
 * octal and anything else as decimal; base 16 accepts and skips a leading
 * "0x"; other bases take digits only. Letters of either case are digits 10
 * and up, as far as the base allows. Digits past the range wrap modulo
 * 2^64. Never fails: text without digits gives 0. When 'end' is not null it
 * receives the first character not used (after any prefix consumed). A null
 * text gives 0 and a null end. */
twInt64 twInt64CvtFromStr(const char *text, char **end, int base);

/* Writes value in base 2..16 into the process-wide result buffer and
 * returns it; the text stays valid until the next call of either writer.
 * 'width' is the minimum field width (0 or less: none); 'precision' the
 * minimum number of digits (so a zero value with precision 0 gives no
 * digits); 'flags' the TW_INT64_* bits. Never returns null; the buffer grows
 * as needed (the process stops when memory is exhausted). A base outside
 * 2..16 is an assertion failure (the process ends). Unlike C's printf, the
 * alternate form always adds its prefix (0 in octal gives "00", 0 in
 * hexadecimal "0x0") and zero fill applies also when a precision is given. */
char *twInt64CvtToStrEx(twInt64 value, int base, int width, int precision, long flags);

/* twInt64CvtToStrEx(value, base, 0, 1, 0). */
char *twInt64CvtToStr(twInt64 value, int base);

#ifdef __cplusplus
}
#endif

#endif
