/* menu_writer.h - writes the menu list as a script for the newer menu
 * system: one tcZr.MakeMenu call per menu, sub-menus before the menus that
 * open them, and a closing tcFac.SetMenus call. */
#ifndef PAGELIFT_MENU_WRITER_H
#define PAGELIFT_MENU_WRITER_H

#include <cstdio>

#include "app/menu_records.h"

// Creates the named file, writes the whole script and reports progress on
// standard output. 0 on success; -1 when the file cannot be opened or a
// write or the final close fails: the failure is reported ("Unable to open
// file %s" or "Unable to write file %s") and no partial script is left
// under the name. While the script is written the cleanup procedure is the
// writer's own (it removes the partial script on a fatal end, then runs the
// one it replaced).
int writeMenuScript(const char *name);
// Writes the script of the whole menu list to an open stream: the menus
// opened by no other menu in reading order, then every menu still unwritten
// (those that only open one another in a cycle) in reading order, then the
// closing call. 0 on success, -1 at the first write that fails.
int writeMenus(FILE *out);
// Writes one menu, first every menu its entries open that is not written
// yet. 0 on success, -1 at the first write that fails.
int writeMenu(FILE *out, Menu *menu);

#endif
