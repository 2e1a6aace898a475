/* eng.h - engineering-unit numbers and number text.
 *
 * Electrical quantities are written as a number, an optional magnitude
 * (kilo, meg, milli, u...) and an optional unit word (volts, ohms...). This
 * module reads such text into a double and writes doubles in plain,
 * scientific, engineering-exponent or magnitude-letter form, with a few
 * small number and time texts beside.
 *
 * The magnitude table, index: letter (scale): 0 a (1e-18), 1 f, 2 p, 3 n,
 * 4 u, 5 m, 6 none (1), 7 k, 8 M, 9 G, 10 T (1e12); the letters are
 * case-sensitive where a letter alone is read or written.
 *
 * Results named static live in buffers owned by this module and stay valid
 * until the next call that writes the same buffer: twCvtDtostr has one,
 * twCvtTimeStr one, and twCvtIntStr, twCvtLongStr and twCvtFloatStr share a
 * third (big enough for every double in "%f" form). Not reentrant.
 *
 * Only twCvtUstrtomag and twCvtDtostr raise (twlib/err/except.h), with
 * messages of the library's catalogue "twlib"; nothing else fails.
 */
#ifndef TWLIB_CVT_ENG_H
#define TWLIB_CVT_ENG_H

#include "twlib/core/base.h"
#include "twlib/text/strbuf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Magnitude-table index of the scale 1 (no letter). */
enum { TW_CVT_MAG_COUNT = 11, TW_CVT_MAG_UNIT = 6 };

/* Reads a number (strtod), then a magnitude word chosen by its first
 * letter, case-insensitive: a atto, f femto, p pico, n nano, u micro (one
 * letter only), m milli, or meg when an e follows, k kilo, g giga, t tera;
 * as many characters as agree with the word are consumed and the value is
 * scaled. Then a unit by its first letter: a amps, f farads, h hz or
 * henries (the longer agreement), o ohms, s seconds, v volts; units are
 * consumed without changing the value. So 3.3k is 3300, 2M is 0.002, 2meg
 * 2e6, 1F one femto, 10uF 1e-5. When 'end' is not null it receives the
 * first character not consumed (the start of the text when no number was
 * read, the result then 0). A null text gives 0 and a null end. */
double twCvtUstrtod(const char *text, char **end);

/* As twCvtUstrtod, except: a rest of the text that is wholly a leading part
 * of 'unit' (case-insensitive) is consumed as the unit, unscaled; a number
 * with nothing after it is scaled by the magnitude-table row 'defaultMag'
 * (an index outside 0..10 scales by 1); the unit read after a magnitude is
 * the agreeing leading part of 'unit' instead of the fixed list (a null
 * 'unit' keeps the fixed list). */
double twCvtUstrtod2(const char *text, char **end, int defaultMag, const char *unit);

/* The magnitude-table index whose letter begins like 'letter' (the first
 * row in index order; the empty text is row 6). No such row, or a null
 * text: raises TW_EX_POSTCOND with message 1201 (the text). */
int twCvtUstrtomag(const char *letter);

/* Writes 'value' with 'ndigit' significant digits (fewer than 1 count as
 * 1, more than 17 as 17, the most a double holds) into the static buffer:
 * mode 0 the shorter of plain and scientific, 1 scientific (4.7e-3), 2
 * engineering exponent (12.3e3), 3 magnitude letter (12.3k; outside a..T
 * the exponent form, 2e15). Trailing zeros of the digits are dropped. A
 * value within -tolerance..tolerance is "0e0" in modes 1 and 2 and "0"
 * otherwise; infinities and NaN are "inf", "-inf" and "nan". Any other
 * mode raises TW_EX_PRECOND with message 1200 at the routine twCvtDtostr. */
const char *twCvtDtostr(double value, int mode, int ndigit, double tolerance);

/* "%d", "%ld" of the value; "%f" of the value with trailing zeros and then
 * a trailing point removed (1.5, 2). Static text (the shared buffer). */
const char *twCvtIntStr(int value);
const char *twCvtLongStr(long value);
const char *twCvtFloatStr(double value);

/* A duration in hundredths of a second as "hh:mm:ss.cc" (each field at
 * least two digits; hours grow as needed; a negative duration gets a
 * leading "-"). Static text. */
const char *twCvtTimeStr(long hundredths);

/* Breaks seconds since 1970-01-01 00:00:00 into calendar fields (month
 * and day from 1, year in full); each output may be null. Times before
 * 1970 count backwards; a year beyond the range of int is clamped to it.
 * Returns 1. */
int twCvtTime(long seconds, int *month, int *day, int *year, int *hour, int *minute, int *second);

/* Skips to the first hexadecimal digit and reads at most 8 of them. No
 * digit: 0, with 'end' (when not null) at the start. Otherwise 'end' is
 * left after the last digit read. A null text gives 0 and a null end. */
uint32_t twCvtUHexTol(const char *text, char **end);

/* Flag bits of the formatters below. */
enum {
    TW_CVT_DF_AUTO = 2, /* choose the magnitude letter (engineering grouping) */
    TW_CVT_DF_TRIM = 4, /* drop trailing zeros after the point, then the point */
    TW_CVT_DF_PLAIN = 8 /* bypass the digit formatting: shortest "%g" text */
};
/* Formats 'value' with a magnitude letter: with TW_CVT_DF_AUTO (forced by
 * magIndex -1) the letter of the value's engineering grouping, else the
 * letter of table row 'magIndex' (0..10; any other index counts as 6),
 * the value being divided by that row's scale. The number is written with
 * 'ndigit' digits after the point ("%.*f", ndigit clamped to 0..30) unless
 * TW_CVT_DF_PLAIN asks for "%g"; TW_CVT_DF_TRIM removes trailing zeros.
 * A grouping outside a..T is written with "e" and the exponent instead of
 * a letter. The StrBuf form appends to 'buf' (null: nothing) and returns
 * the length appended; the Static form returns static text of its own,
 * large enough for every value. */
int twCvtDformatStrBuf(twStrBuf *buf, double value, int ndigit, int flags, int magIndex);
const char *twCvtDformatStatic(double value, int ndigit, int flags, int magIndex);

#ifdef __cplusplus
}
#endif

#endif
