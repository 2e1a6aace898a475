/* conversion.h - a whole conversion run, locating and reading menu files,
 * and ending a conversion. */
#ifndef PAGELIFT_CONVERSION_H
#define PAGELIFT_CONVERSION_H

#include <cstdio>

// Runs the conversion of the command line "pagelift infile outfile" (argv[0]
// the command name; arguments after the second are ignored) and ends the
// process; never returns. Exit status 0 after the script was written (input
// errors inside menu files are reported and do not change it); 2 for a
// usage error, an input or included file that cannot be located, opened or
// read, and an output file that cannot be opened, written or closed; 3 when
// memory runs out ("Out of memory." on standard error).
[[noreturn]] void convertMenus(int argc, char **argv);

// Locates the named file through the working-directory search and reads
// all of its menus into the menu list. A file that cannot be located, that
// cannot be opened or whose reading fails ends the process with status 2
// (through abandonConversion) after a message on standard output.
void readMenuFile(const char *name);

// Reads all menus of an open menu file (path names it in messages) into
// the menu list and closes it; the reading half of readMenuFile. A read
// error ends the process with status 2 after "Unable to read file %s".
void readMenuStream(FILE *stream, const char *path);

// Closes the open menu files, releases the keywords and every menu, and
// ends the process with the status.
[[noreturn]] void abandonConversion(int status);

#endif
