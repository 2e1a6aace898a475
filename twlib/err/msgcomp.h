/* msgcomp.h - the message compiler: message headers into binary message
 * files.
 *
 * Messages are written as a header file of numbered #define constants, each
 * followed by a comment that opens with a string literal holding the text:
 *
 *     #define MYAPP_M_OWNER   -1 /+ "myapp" +/       (the owner)
 *     #define MYAPP_M_RELEASE -2 /+ "1.0" +/         (the release)
 *     #define MYAPP_M_VERSION  0 /+ "1.0.3" +/       (the version)
 *     #define MYAPP_NO_FILE  101 /+ "[E]Can't open `%s'." +/
 *
 * (with real comment marks). The compiler reads such a header and writes
 * the binary message file that twlib/err/msgfile.h reads, checking every
 * text on the way: a well-formed literal, printf-style conversions whose
 * argument positions run from 1 without gaps and take one type each, and a
 * known severity letter in a leading "[X]" (D, S, I, W, E, F or Z). Lines
 * that are not such definitions are reported and skipped; a line ending in
 * a backslash continues on the next one; a comment may go on over further
 * lines and ends at the first "*" "/" after the literal's opening quote.
 *
 * The file: the stream's descriptor, 15 header integers (check value
 * 0x00010203, the three version numbers, the offsets of the index and of
 * the version, owner and release records), the texts each followed by its
 * argument table (16-bit: the highest position, then each position's type
 * code, twSpFmtArgIs of twlib/text/sprintf.h, 1 for a "*" argument), the
 * string records (16-bit length with the zero byte, then the bytes) and
 * the index (count, then number, offset and length per message, ascending
 * by number). Integers are 32 bits, offsets count from the end of the
 * descriptor.
 */
#ifndef TWLIB_ERR_MSGCOMP_H
#define TWLIB_ERR_MSGCOMP_H

#include <stdio.h>

#include "tslib/dufs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Report codes of twMsgCompCompile. For the codes marked "stop" a non-zero
 * result of the report function stops the compilation with that code;
 * with 0 the line is skipped (-1, -4, -6, -7, -10), compiled with its
 * prefix (-9) or its entries kept in the index (-8). The codes marked
 * "always" stop whatever the report function returns. */
enum {
    TW_MSGCOMP_COMPILED = 0,      /* the line was compiled */
    TW_MSGCOMP_NOT_MESSAGE = 1,   /* not a message definition: skipped */
    TW_MSGCOMP_BAD_LITERAL = -1,  /* the literal cannot be decoded (stop) */
    TW_MSGCOMP_NO_STREAM = -2,    /* no header or no output stream (always) */
    TW_MSGCOMP_WRITE_FAILED = -3, /* a write or seek failed (always) */
    TW_MSGCOMP_BAD_FORMAT = -4,   /* a conversion cannot be parsed, a position
                                      above 128 or one used with two types
                                      (stop) */
    TW_MSGCOMP_OPEN_COMMENT = -5, /* the comment is not closed before the end
                                      of the input (always) */
    TW_MSGCOMP_BAD_VERSION = -6,  /* the version text is not three numbers
                                      joined by points (stop) */
    TW_MSGCOMP_POSITION_GAP = -7, /* argument positions leave a gap (stop) */
    TW_MSGCOMP_DUPLICATE = -8,    /* a number defined twice; reported after
                                      the whole header was read (stop) */
    TW_MSGCOMP_BAD_SEVERITY = -9, /* an unknown letter in the "[X]" prefix
                                      (stop) */
    TW_MSGCOMP_TOO_LARGE = -10    /* does not fit the file's layout: a number
                                      above 2147483647, an owner, release or
                                      version text of 32767 bytes or more, a
                                      text of 2 GB or more, or more than 200000
                                      messages (stop) */
};

/* A plain description of a report code ("the comment is not closed before
 * the end of the input"), static text; "unknown code" for any other. */
const char *twMsgCompCodeText(int code);

/* Called for every line and problem: the code, the number of the header's
 * line where the logical line starts (0 for -2 and -3), the message number
 * (0 when there is none) and the line's text (a logical line, continuation
 * lines joined; "" for -2, -3 and -8). The text is valid during the call
 * only. The function may not raise. */
typedef int (*twMsgCompReportFn)(int code, int line, int number, const char *text, void *data);

/* Compiles the header text stream into the binary stream (opened for
 * writing with twDufsBFopen, "w" or "w+"), from the start of each. Returns
 * 0 on success, else the negative code at which it stopped. A null report
 * function stops at every code below 0. Every buffer it allocated is
 * released before it returns, whatever the code; the output is left as far
 * as it was written (it is a complete file only when the result is 0). Both
 * streams stay the caller's. May raise only where the memory manager ends
 * the process. */
int twMsgCompCompile(FILE *header, twDufsB *output, twMsgCompReportFn report, void *data);

/* Reads a version. When 'text' is a message definition line (as above)
 * the text looked at is its literal from the opening quote on, else the
 * whole text; it is decoded as a literal and must read
 * "<major>.<minor>.<patch>" in decimal (each at most 2147483647). Stores
 * the three numbers, or -1 in each when it does not read so (or 'text' is
 * null); a null pointer is skipped. Returns the text looked at (a pointer
 * into 'text'; null for a null text). */
const char *twMsgCompVerValues(const char *text, int *major, int *minor, int *patch);

/* Reads the next logical line of the header stream (continuation lines
 * joined, line feed dropped) and returns it after twMsgCompVerValues on it.
 * The line is in a buffer of the module, valid until the next call; null at
 * the end of the stream (the numbers are then -1), or for a null stream. */
const char *twMsgCompVerGet(FILE *header, int *major, int *minor, int *patch);

/* A new version line "#define <name>_M_VERSION 0 /+ "0.0.0" +/" (real
 * comment marks) ending in a line feed, allocated with twMemMalloc under
 * the tag "twmsgcmp"; the caller frees it with twMemFree. A null name
 * counts as "". */
char *twMsgCompVerCreate(const char *name);

/* Sets the version of a version line: cuts 'line' (a twMemMalloc block)
 * right after the opening quote of its literal (a line that is not a
 * message definition keeps only its first character), appends
 * "<major>.<minor>.<patch>" and the closing quote, comment end and line
 * feed, and returns the line, reallocated (tag "twStaticBuffer") when the
 * result is longer than the old text, in which case the old pointer is no
 * longer valid. Negative numbers are written as 0, each number with at most
 * five digits (its last five). A null line gives null. */
char *twMsgCompVerMod(char *line, int major, int minor, int patch);

#ifdef __cplusplus
}
#endif

#endif
