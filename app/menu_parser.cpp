/* menu_parser.cpp - the menu-definition parser.
 *
 * A menu is a name, up to three header integers, "{", entries and "}". The
 * second and third header values select the entry form: both 0 the strict
 * form (four integers, label, action), otherwise the free form, where an
 * entry may also be a label and an action alone. Entry integers are read
 * and checked, then dropped.
 */
#include "app/menu_parser.h"

#include <cstdio>
#include <cstring>

#include "app/conversion.h"
#include "app/menu_lexer.h"
#include "app/menu_records.h"
#include "twlib/text/str.h"

void menuMessage(const char *text)
{
    printf("%s\n", text);
}

void menuError(const char *text)
{
    printf("Error in menu \"%s\" - %s\n", reader.currentMenuName, text);
}

// Reads the name of the next menu or include directive into name. False at
// the end of the input.
static bool readMenuName(char *name)
{
    for (;;) {
        int code = readWord(name, MENU_TOKEN_SIZE);
        if (code == TOK_END) return false;
        if (code == TOK_WORD) return true;
        // A brace body or a quoted string stands where a name belongs.
        if (code == TOK_OPEN)
            skipPast(TOK_CLOSE);
        else if (code == TOK_DQUOTE || code == TOK_SQUOTE)
            skipPast(code);
        menuMessage("Expected to find menu name");
    }
}

struct Header {
    int first = 99;
    int second = 0;
    int third = 0;
};

// Reads the header integers up to the opening brace. False when the input
// ended first.
static bool readHeader(Header &header)
{
    int values[3];
    int count = 0;
    for (;;) {
        int value = 0;
        int code = readInt(&value);
        if (code == TOK_END) {
            menuError("Unexpected end-of-menu");
            return false;
        }
        if (code == 0) {
            if (count == 3)
                menuError("Excess data in menu definition");
            else
                values[count++] = value;
            continue;
        }
        if (code == TOK_OPEN) break;
        if (code == TOK_DQUOTE || code == TOK_SQUOTE) skipPast(code);
        menuError("Integer expected in menu definition");
    }
    switch (count) {
    case 1:
        header.first = values[0];
        break;
    case 2:
        header.second = values[0];
        header.third = values[1];
        break;
    case 3:
        header.first = values[0];
        header.second = values[1];
        header.third = values[2];
        break;
    default:
        break;
    }
    return true;
}

// Reads the entry integers after the first 'have' of them, up to four.
// False when the menu ends (end of input, or a closing brace: normal at the
// start of an entry, an error once an integer has been read).
static bool readEntryIntegers(int have)
{
    while (have < 4) {
        int value = 0;
        int code = readInt(&value);
        if (code == TOK_END) {
            menuError("Unexpected end-of-menu");
            return false;
        }
        if (code == 0) {
            have++;
            continue;
        }
        if (code == TOK_OPEN) {
            menuError("Unexpected menu body");
            continue;
        }
        if (code == TOK_CLOSE) {
            if (have > 0) menuError("Unexpected end-of-entry");
            return false;
        }
        if (code == TOK_DQUOTE || code == TOK_SQUOTE) skipPast(code);
        menuError("Integer expected in entry definition");
    }
    return true;
}

// Reads a label or an action. False when the menu ends.
static bool readEntryString(char *dst)
{
    for (;;) {
        int code = readString(dst, MENU_TOKEN_SIZE);
        if (code == 0) return true;
        if (code == TOK_OPEN) {
            menuError("Unexpected menu body");
            continue;
        }
        menuError(code == TOK_CLOSE ? "Unexpected end-of-entry" : "Unexpected end-of-menu");
        return false;
    }
}

static void readStrictBody(Menu *menu)
{
    char label[MENU_TOKEN_SIZE];
    char action[MENU_TOKEN_SIZE];
    while (readEntryIntegers(0) && readEntryString(label) && readEntryString(action))
        addMenuEntry(menu, label, action);
}

static void readFreeBody(Menu *menu)
{
    char label[MENU_TOKEN_SIZE];
    char action[MENU_TOKEN_SIZE];
    for (;;) {
        int value = 0;
        int code = readIntOrString(label, MENU_TOKEN_SIZE, &value);
        if (code == TOK_END) {
            menuError("Unexpected end-of-menu");
            return;
        }
        if (code == TOK_OPEN) {
            menuError("Unexpected menu body");
            continue;
        }
        if (code == TOK_CLOSE) return;
        if (code == 0) {
            // The integer form: three more integers, then label and action.
            if (!readEntryIntegers(1) || !readEntryString(label)) return;
        }
        if (!readEntryString(action)) return;
        addMenuEntry(menu, label, action);
    }
}

int readMenu()
{
    char name[MENU_TOKEN_SIZE];
    if (!readMenuName(name)) return 0;

    if (name[0] == '@') {
        if (reader.nesting <= 1)
            readMenuFile(name + 1);
        else
            menuMessage("Only one level of indirection allowed");
        return 1;
    }

    strcpy(reader.currentMenuName, name);
    Header header;
    if (!readHeader(header)) return 0;

    Menu *menu = newMenu();
    menu->name = twStrCpy(name);
    menu->headerValue = header.first;
    if (header.second == 0 && header.third == 0)
        readStrictBody(menu);
    else
        readFreeBody(menu);
    return 1;
}
