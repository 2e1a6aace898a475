/* menu_records.h - the converter's records and its process-wide reader state.
 *
 * One conversion runs per process. Menus form a doubly linked list in
 * reading order, each menu a singly linked list of its entries; records are
 * tagged blocks and every string in them is a pool string.
 */
#ifndef PAGELIFT_MENU_RECORDS_H
#define PAGELIFT_MENU_RECORDS_H

#include <cstdint>
#include <cstdio>

#include "twlib/text/tklex.h"

struct MenuEntry;

struct Menu {
    Menu *next;            // next menu of the list; first field, as the list code expects
    Menu *prev;            // previous menu; second field
    char *name;            // pool string, at most 79 characters
    int32_t numEntries;    // entries added; kept, not used later
    MenuEntry *entries;    // singly linked, in input order
    int32_t headerValue;   // first header integer, 99 when none was given
    MenuEntry *referrer;   // an entry that opens this menu (the last resolved), or null
    int32_t written;       // set when the writer starts on the menu
    MenuEntry *lastEntry;  // tail of entries, so appending never walks the list
};

struct MenuEntry {
    MenuEntry *next;  // first field, as the list code expects
    Menu *target;     // the menu this entry opens, or null
    char *action;     // pool string: a command text, or "&" and a menu name
    char *label;      // pool string: the text the entry shows
};

// The lexer's keywords are stream-tokenizer keyword records.
using MenuKey = twTklexKey;

// Token codes the lexer returns with the converter's keywords.
enum MenuToken : int {
    TOK_END = -1,     // end of input
    TOK_WORD = 0,     // any other token (also: an integer was stored)
    TOK_OPEN = 1,     // "{"
    TOK_CLOSE = 2,    // "}"
    TOK_BAR = 3,      // "|", a comment
    TOK_DQUOTE = 4,   // '"'
    TOK_SQUOTE = 5,   // "'"
    TOK_STRING = 6,   // readIntOrString: a word was copied as a string
    TOK_NOT_INT = 7,  // readInt: a word that is not an integer, whose first
                      // character would otherwise read as one of the codes above
};

// Words, labels, actions and names are at most this long, NUL included.
constexpr int MENU_TOKEN_SIZE = 80;

struct MenuReaderState {
    Menu *menus = nullptr;                  // head of the menu list
    Menu *lastMenu = nullptr;               // its tail, so appending never walks the list
    uint32_t menuCount = 0;                 // menus in the list, to size the link table
    char currentMenuName[MENU_TOKEN_SIZE];  // the menu whose header or body is being read
    FILE *stream = nullptr;                 // the input being read
    FILE *savedStream = nullptr;            // the stream current when the last file was opened
    char token[MENU_TOKEN_SIZE];            // receives every token
    MenuKey *keys = nullptr;                // exists while nesting >= 1
    int nesting = 0;                        // menu files currently open
};

extern MenuReaderState reader;

// Creates an empty menu (headerValue 99) at the tail of the menu list.
Menu *newMenu();
// Appends an entry with copies of label and action to the menu.
void addMenuEntry(Menu *menu, const char *label, const char *action);
// The converter's keywords, in the order they are created. Each is one
// character, and each of those characters is also a separator.
struct MenuKeyword {
    char text[2];
    MenuToken code;
};
constexpr MenuKeyword MENU_KEYWORDS[] = {
    {"{", TOK_OPEN}, {"}", TOK_CLOSE}, {"|", TOK_BAR}, {"\"", TOK_DQUOTE}, {"'", TOK_SQUOTE}};

// The keywords of MENU_KEYWORDS, the last created at the head: ' " | } {.
MenuKey *buildMenuKeys();
// Releases a keyword list made by buildMenuKeys, texts included.
void freeMenuKeys(MenuKey *keys);
// Sets every entry's target and every linked menu's referrer.
void resolveMenuLinks();
// Releases every menu and entry and empties the list.
void freeMenus();

#endif
