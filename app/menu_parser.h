/* menu_parser.h - reads menus and include directives of a menu-definition
 * file into the menu list.
 *
 * The parser never stops on a malformed construct: it prints a message,
 * resynchronises in a fixed way and goes on, so that a damaged file still
 * yields the menus and entries that could be read.
 */
#ifndef PAGELIFT_MENU_PARSER_H
#define PAGELIFT_MENU_PARSER_H

// Reads the next menu or include directive from reader.stream; 0 when
// nothing more can be read from this file, 1 otherwise.
int readMenu();
// Prints "%s\n" on standard output.
void menuMessage(const char *text);
// Prints an error line naming the menu being read on standard output.
void menuError(const char *text);

#endif
