/* conversion.h - locating and reading menu files, and ending a conversion. */
#ifndef PAGELIFT_CONVERSION_H
#define PAGELIFT_CONVERSION_H

// Locates the named file through the working-directory search and reads
// all of its menus into the menu list. A file that cannot be located ends
// the process with status 2; one that cannot be opened is reported and
// skipped.
void readMenuFile(const char *name);

// Closes the open menu files, releases the keywords and every menu, and
// ends the process with the status.
[[noreturn]] void abandonConversion(int status);

#endif
