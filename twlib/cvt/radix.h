/* radix.h - 4-state logic values between binary and octal, hexadecimal
 * and decimal text.
 *
 * A bit string holds the states 0, 1, X (undefined) and Z (high impedance),
 * X and Z in either case, most significant bit first; the empty string is a
 * bit string too. A value may end in a radix suffix: a backslash and B, O, D
 * or H in either case. Asked to mark their output (mark exactly 1), the
 * writers append "\O", "\H" or "\D".
 *
 * Every call writes into a buffer the caller supplies, which must hold the
 * longest result: four characters per hexadecimal digit, three per octal
 * digit, 32 or the input length for a decimal number, and a digit per bit
 * (at least one) for bits to octal, hexadecimal or decimal text, each with
 * two more for a suffix and one for the terminator. A null text or buffer
 * gives 0 and writes nothing. No call allocates memory that outlives it.
 */
#ifndef TWLIB_CVT_RADIX_H
#define TWLIB_CVT_RADIX_H

#ifdef __cplusplus
extern "C" {
#endif

/* Converts a value with or without a radix suffix into a bit string in
 * 'out'. Returns the radix it read: 1 binary (a bit string, with the suffix
 * \B or none), 8 octal, 10 decimal, 16 hexadecimal; 0 when the value is not
 * valid for its radix, with 'out' as the converter left it (a partial or
 * X-filled result, or untouched). */
int twCvtStrBin(const char *text, char *out);

/* Writes four (three) bits per hexadecimal (octal) digit: X, x, Z and z
 * give four (three) of themselves, any other character four (three) X.
 * Returns 1 when every character was a digit or a state, else 0 (with the
 * whole output written all the same). */
int twCvtHexBin(const char *digits, char *out);
int twCvtOctBin(const char *digits, char *out);

/* Converts a decimal integer from -2147483648 to 4294967295 (an optional
 * sign and digits only: no point, no exponent) into its 32-bit pattern
 * (values from 2147483648 up take their unsigned pattern), leaving out the
 * leading zero bits beyond the bit count of the largest number of that many
 * characters: 9 gives 1001, 15 0001111, 255 0011111111, a negative number
 * all 32 bits. A text of one of X, x, Z or z, repeated (xxx, ZZ), is copied.
 * Returns 1, or 0 with 'out' untouched. */
int twCvtDecBin(const char *text, char *out);

/* 1 when every character of text is 0, 1, X, x, Z or z (the empty text
 * too), else 0; 0 for null. */
int twCvtIsBinary(const char *bits);

/* Write the bit string as octal, hexadecimal (upper case) or decimal
 * digits, grouped from the least significant end; a group or value of Z
 * alone gives Z, any other non-binary content X. Return the 4-state check
 * of the input; the output is written in either case. Decimal: the number
 * of digits is that of the largest value of so many bits, leading zeros
 * kept (0000 gives 00); an empty input gives 0. */
int twCvtBinOct(const char *bits, char *out, int mark);
int twCvtBinHex(const char *bits, char *out, int mark);
int twCvtBinDec(const char *bits, char *out, int mark);

#ifdef __cplusplus
}
#endif

#endif
