/* inifile.h - ini files of preference databases.
 *
 * An ini file gives one option per line:
 *
 *     edit.width 72        | a database line: database "edit"
 *     width 60             | a global line: every database with "width"
 *     |5.0 edit.tabs 4     | behind the version mark "|5.0"
 *     | any other line beginning with "|" is a comment
 *
 * A line is trimmed; a first word ending at "." names the database (up to
 * 80 characters), the next word (up to 80 characters) the option; the rest
 * of the line, trimmed, is the value text. A value ends at its first "|",
 * the blanks before the "|" not belonging to it. Names are compared
 * lower-cased. A line that begins with "|" followed by anything but the
 * mark "|5.0" and a blank, or that has no option word, is not an option
 * line.
 *
 * Files are read with the library's text streams (tslib/dufs.h: a line may
 * end in a line feed or a carriage return and a line feed) and written
 * through a temporary file renamed over the old one, so that a file is
 * never left half-written.
 */
#ifndef TWLIB_PREF_INIFILE_H
#define TWLIB_PREF_INIFILE_H

#include <stdio.h>

#include "twlib/pref/pref.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Called with each line that does not set an option of the database, as
 * read (line end removed); returns 0 to stop reading. */
typedef int (*twPrefUnknownLineFn)(void *arg, const char *line);

/* Reads the ini file into the database. 'path' without a directory part is
 * completed with the extension "ini" when it has none and searched for with
 * tsGetini; otherwise it is opened as given. A line of the database (its
 * key) or of the global section whose option the database has, and whose
 * option was set neither by the program nor on the command line, has its
 * value text parsed by the option's type and assigned (marked changed);
 * every other line goes to unknownLine, unless that is null or twDummyProc
 * (cast). Returns 1; 0 when the file cannot be opened (nothing read) or
 * unknownLine stopped the reading. A refused value raises the type's
 * exception (the lines before it are applied); an exception from
 * unknownLine goes on too; the file is closed either way. */
int twPrefReadIniFile(twPrefDB *db, const char *path, twPrefUnknownLineFn unknownLine, void *arg);

/* Writes the current values of the database (null: of every registered
 * database) into the ini file 'path'. The old file (path itself, or the
 * file tsGetini finds for it) is copied line by line, trimmed; each option
 * line of the database or of the global section whose option the database
 * has is rewritten with the current value, keeping the option's name as
 * written, the database prefix when the line had one, and a comment behind
 * "|" at its old column (or one blank behind a longer value). Changed
 * options not yet written are appended in sequence order, prefixed with the
 * database name when 'qualify' is nonzero; an option that is not compatible
 * gets the mark "|5.0 " in front. With a null database, old lines naming a
 * registered database that has the option are rewritten and other lines
 * copied as they stand.
 *
 * The text goes to path + ".tmp", which is then renamed over 'path'.
 * Returns 1; 0 when the temporary file cannot be created, written, closed
 * or renamed: the failure is reported (twErrOut, location 'path'), the
 * temporary file removed and the old file left as it was. An exception
 * from a value's formatting removes the temporary file and goes on. */
int twPrefWriteIniFile(twPrefDB *db, const char *path, int qualify);

/* ---- for the option parser of this layer ---- */

/* An ini line taken apart. */
typedef struct twPrefIniLine {
    int hasDatabase;       /* the line names a database */
    int marked;            /* the line begins with the mark "|5.0" */
    char database[81];     /* lower-cased; "**global**" without a name */
    char option[81];       /* lower-cased */
    const char *value;     /* into the line: the value text, to the line's end */
    const char *nameStart; /* into the line: where the option name stood */
} twPrefIniLine;

/* The name of the global section. */
#define TW_PREF_GLOBAL "**global**"

/* Takes apart a line already trimmed at both ends; 1 for an option line,
 * else 0. */
int twPref_ParseIniLine(const char *line, twPrefIniLine *out);
/* Copies the value text up to its first "|" (blanks before it dropped)
 * into 'buf' (cleared first). */
void twPref_CutValue(const char *value, twStrBuf *buf);
/* Opens the ini file 'name' as twPrefReadIniFile finds it; null when it
 * cannot. 'source' (a path buffer, or null) gets the name as completed,
 * 'resolved' (a path buffer, or null) the absolute path opened. */
FILE *twPref_OpenIni(const char *name, char *source, char *resolved);
/* The next line of the stream without its line end, in 'buf' (cleared
 * first); 0 at the end of the file. */
int twPref_ReadLine(FILE *file, twStrBuf *buf);

#ifdef __cplusplus
}
#endif

#endif
