/* menu_writer.h - writes the menu list as a script for the newer menu
 * system: one tcZr.MakeMenu call per menu, sub-menus before the menus that
 * open them, and a closing tcFac.SetMenus call. */
#ifndef PAGELIFT_MENU_WRITER_H
#define PAGELIFT_MENU_WRITER_H

#include <cstdio>

#include "app/menu_records.h"

// Creates the named file, writes the whole script and reports progress on
// standard output; a file that cannot be opened is reported and nothing is
// written.
void writeMenuScript(const char *name);
// Writes the script of the whole menu list to an open stream.
void writeMenus(FILE *out);
// Writes one menu, first every menu its entries open that is not written yet.
void writeMenu(FILE *out, Menu *menu);

#endif
