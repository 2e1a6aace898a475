/* dufs.h - buffered text and binary file streams over the platform's
 * streams (module twdufsb).
 *
 * Text operations read files written with either line end: a carriage
 * return followed by a line feed reads as one line feed.
 *
 * Binary streams begin with a 2-byte descriptor: byte 0 the version (1),
 * byte 1 the flags below. The data follow from byte 2, and every position
 * given to or returned by the twDufsB calls counts from there.
 *
 *   bit 0 (1)    values stored most significant byte first (clear: least
 *                significant byte first)
 *   bit 1 (2)    longs take 8 bytes (clear: 4)
 *   bits 2-3     ints take 2 << (this field) bytes: 2, 4, 8 or 16
 *   bit 4 (16)   shorts take 4 bytes (clear: 2)
 *   bit 5 (32)   floats take 8 bytes: refused
 *   bit 6 (64)   doubles take 16 bytes: refused
 *   bit 7 (128)  the descriptor is valid: required
 *
 * A file created here describes this machine: 4-byte longs and ints,
 * 2-byte shorts, 4-byte floats, 8-byte doubles, in this machine's byte
 * order (flags 133 on a big-endian machine, 132 on a little-endian one).
 * twDufsBWrite stores values unconverted, so the caller writes them in
 * that layout: int32_t for long and int, int16_t for short, float, double.
 * twDufsBRead converts each value from the writer's byte order and sizes to
 * the reader's, so a file written on any machine reads on any other.
 *
 * Misuse and conversion faults raise exceptions (twlib/err/except.h) whose
 * errors are messages of the library's message file "twlib", located at
 * "in call to routine <routine>()":
 *
 *   1300 TW_EX_POSTCOND  descriptor version is not 1       (int version, char *name)
 *   1301 TW_EX_POSTCOND  descriptor lacks the valid bit    (none)
 *   1302 TW_EX_POSTCOND  8-byte floats or 16-byte doubles  (char *name)
 *   1306 TW_EX_PRECOND   mode other than "r", "w", "w+"    (char *name, char *mode)
 *   1310 TW_EX_PRECOND   null or invalid stream record     (none)
 *   1311 TW_EX_PRECOND   null file name, mode or stream    (none)
 *   1312 TW_EX_PRECOND   string longer than 255 bytes      (char *name, int length, int 255)
 *   1320 TW_EX_POSTCOND  value does not fit the reader     (char *name, int file's size,
 *                                                           int reader's size)
 *
 * The name is the file name given to twDufsBFopen, or "(stream)" for a
 * record made by twDufsBSetup. When the file is the library's own message
 * file (base name "twlib", extension "tmb", in any case) the error is not
 * looked up but made directly: app "twlib", number 1008, severity Fatal, the
 * text "TWLIB Error 1008: Error <number> occured while trying to open or read
 * the binary message file twlib.tmb!\n".
 *
 * Input and output failures are not exceptions: they give short counts or
 * null.
 */
#ifndef TSLIB_DUFS_H
#define TSLIB_DUFS_H

#include <stdio.h>

#include "twlib/core/base.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- text streams ---- */

/* The next character of the stream, or EOF. A carriage return directly
 * followed by a line feed reads as one line feed; any other carriage return
 * is returned as it is (the character after it is pushed back). */
int twDufsFgetc(FILE *stream);
/* As the platform's fgets: reads at most size - 1 characters up to and
 * including a line feed into 'buffer' and terminates them; null at end of
 * file (or for a size below 1). A line ending in carriage return and line
 * feed ends in a single line feed instead, also when the carriage return
 * fell on the buffer's last slot (the line feed is then consumed). */
char *twDufsFgets(char *buffer, int size, FILE *stream);
/* The next whole line of any length, line feed included when it has one,
 * carriage return and line feed read as one line feed. The buffer belongs
 * to the library and stays valid until the next call; null at end of file
 * (the last line is returned even without a line end). A zero byte inside
 * a line ends the text the caller sees; the whole line is consumed all the
 * same. */
char *twDufsFgetline(FILE *stream);
/* Positions the stream so that the next read gets the character at 'offset'
 * from the start (whence 0), the current position (1) or the end (2), where
 * a carriage-return/line-feed pair counts as one character. Reads the file
 * to count. 0; 2 for another whence, a stream that cannot seek or a read
 * error. A target before the start positions at the start, one beyond the
 * end at the end. */
int twDufsFseek(FILE *stream, long offset, int whence);

/* ---- binary streams ---- */

/* A binary stream record: the stream, its name and the writer's layout.
 * Made by twDufsBFopen or twDufsBSetup, released by twDufsBFclose. */
typedef struct twDufsB twDufsB;

/* Value types of twDufsBRead. */
enum {
    TW_DUFSB_BYTES = 0,  /* raw bytes, unconverted */
    TW_DUFSB_SHORT = 1,  /* int16_t */
    TW_DUFSB_INT = 2,    /* int32_t */
    TW_DUFSB_INT2 = 3,   /* int32_t, as TW_DUFSB_INT */
    TW_DUFSB_LONG = 4,   /* int32_t: a long of the file format is 32 bits */
    TW_DUFSB_FLOAT = 5,  /* float */
    TW_DUFSB_DOUBLE = 6, /* double */
    TW_DUFSB_STRING = 7  /* counted string: a length byte, then the bytes */
};

/* Descriptor bytes of the files this machine writes. */
enum { TW_DUFSB_VERSION = 1 };
#define TW_DUFSB_FLAGS_BIG    133
#define TW_DUFSB_FLAGS_LITTLE 132

/* Opens file 'name' with mode "r" (read), "w" (write) or "w+" (update,
 * truncating) in binary and returns a new record. For "r" the descriptor is
 * read from the start; for "w" and "w+" the descriptor of this machine is
 * written. Returns null, with the platform's errno kept (0 for a file too
 * short to hold a descriptor), when the file cannot be opened or the
 * descriptor cannot be read or written (a file being created is then
 * deleted again). Raises 1311 for a null name or
 * mode and 1306 for another mode (both before the file is touched), and
 * 1300, 1301 or 1302 for a descriptor it cannot read (the file is closed,
 * and deleted when it was being created). The caller releases the record
 * with twDufsBFclose. */
twDufsB *twDufsBFopen(const char *name, const char *mode);
/* As twDufsBFopen over a stream the caller opened (binary, at its start);
 * the record has no name. Returns null when the descriptor cannot be read
 * or written (the stream stays open and the caller's). Raises 1311 for a
 * null stream or mode, 1306, 1300-1302 as twDufsBFopen (the stream stays
 * the caller's). On success the record owns the stream: twDufsBFclose
 * closes it. */
twDufsB *twDufsBSetup(FILE *stream, const char *mode);

/* Reads 'count' values of 'type' (TW_DUFSB_*) into 'destination', each
 * converted from the file's byte order and size to the reader's size
 * (1, 2, 4, 4, 4, 4, 8 bytes for types 0-6). A narrower file value is
 * widened, filled with 0xFF when 'signExtend' is set and it is negative,
 * else with 0; a wider one must fit: with 'signExtend' it must lie within
 * the reader's signed range, without it within the unsigned range, else
 * 1320 is raised (the values before it are stored). Returns the number of
 * values read, fewer at end of file or on a read error; 0 for a count
 * below 1 or a type above 7.
 * TW_DUFSB_STRING reads one counted string into 'destination' (at least
 * 256 bytes), terminated by a zero byte; returns 1, or 0 when the length
 * byte or the bytes could not all be read. 'count' is not used.
 * Raises 1310 for an invalid record. */
int twDufsBRead(twDufsB *stream, void *destination, int count, int type, int signExtend);
/* Writes 'count' values of 'size' bytes each from 'source', unconverted.
 * Returns the number written, fewer on a write error; 0 for a count or
 * size below 1. Raises 1310 for an invalid record. */
int twDufsBWrite(twDufsB *stream, const void *source, int count, int size);
/* Writes a counted string: its length (0-255) as one byte, then its bytes
 * without the zero byte; a null string is written as the empty string.
 * Returns 1 when all was written, else 0. Raises 1310 for an invalid
 * record and 1312 for a string of more than 255 bytes (nothing written). */
int twDufsBWriteString(twDufsB *stream, const char *string);
/* Closes the stream and releases the record and its name. Returns 0, or
 * EOF when closing failed (buffered data may not have been written). Raises
 * 1310 for an invalid record (nothing released). */
int twDufsBFclose(twDufsB *stream);
/* The position counted from byte 2; -1 when it cannot be told. Raises
 * 1310 for an invalid record. */
long twDufsBFtell(twDufsB *stream);
/* As the platform's fseek (whence SEEK_SET, SEEK_CUR, SEEK_END), with a
 * SEEK_SET offset counted from byte 2. 0, or -1 when the platform refuses
 * or the target lies before byte 2 (errno EINVAL; the position is then
 * unchanged), so the descriptor cannot be overwritten. Raises 1310 for an
 * invalid record. */
int twDufsBFseek(twDufsB *stream, long offset, int whence);
/* Positions at byte 2. Raises 1310 for an invalid record. */
void twDufsBRewind(twDufsB *stream);
/* The record's stream, which stays the record's. Raises 1310 for an
 * invalid record. */
FILE *twDufsBGetFD(twDufsB *stream);

#ifdef __cplusplus
}
#endif

#endif
