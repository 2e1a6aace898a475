/* menu_records.cpp - the converter's records, their links and their release. */
#include "app/menu_records.h"

#include <algorithm>
#include <cstdint>

#include "twlib/containers/list.h"
#include "twlib/containers/sym.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

MenuReaderState reader;

// Menus and entries are small, many and all released together, so they come
// from the free lists: no per-block overhead, and under memory checking they
// are tagged blocks like any other.
Menu *newMenu()
{
    auto *menu = static_cast<Menu *>(twMemFlAlloc(sizeof(Menu), "menu"));
    *menu = Menu{};
    menu->headerValue = 99;
    reader.menus = static_cast<Menu *>(twListDins(menu, reader.lastMenu, reader.menus));
    reader.lastMenu = menu;
    reader.menuCount++;
    return menu;
}

void addMenuEntry(Menu *menu, const char *label, const char *action)
{
    menu->numEntries++;
    auto *entry = static_cast<MenuEntry *>(twMemFlAlloc(sizeof(MenuEntry), "menu entry"));
    *entry = MenuEntry{};
    menu->entries = static_cast<MenuEntry *>(twListSins(entry, menu->lastEntry, menu->entries));
    menu->lastEntry = entry;
    entry->label = twStrCpy(label);
    entry->action = twStrCpy(action);
}

MenuKey *buildMenuKeys()
{
    MenuKey *head = nullptr;
    for (const MenuKeyword &k : MENU_KEYWORDS) {
        auto *key = static_cast<MenuKey *>(twMemMalloc(sizeof(MenuKey), "Menu key"));
        key->text = twStrCpy(k.text);
        key->length = 1;
        key->code = k.code;
        key->next = head;
        head = key;
    }
    return head;
}

void freeMenuKeys(MenuKey *keys)
{
    while (keys) {
        MenuKey *next = keys->next;
        twStrFree(keys->text);
        twMemFree(keys);
        keys = next;
    }
}

// A large table is far bigger than the cache, and each name's chain starts
// at a slot of its own: the loops below hint the table at the name this
// many steps ahead, so that its slot is loaded by the time it is looked up.
constexpr int LOOKAHEAD = 8;

// Walks every entry of the menu list in order.
struct EntryCursor {
    Menu *menu;
    MenuEntry *entry;

    explicit EntryCursor(Menu *first) : menu(first), entry(first ? first->entries : nullptr) { settle(); }
    void advance()
    {
        entry = entry->next;
        settle();
    }

private:
    // Moves past menus without entries.
    void settle()
    {
        while (!entry && menu) {
            menu = menu->next;
            entry = menu ? menu->entries : nullptr;
        }
    }
};

void resolveMenuLinks()
{
    // One lookup table of the first menu of each name keeps resolution
    // linear: names are borrowed from the menus, which outlive the table.
    // Two slots per menu keep chains short, so a look-up seldom visits an
    // entry other than the one it is after.
    uint64_t slots = 2 * uint64_t{reader.menuCount};
    twSymTable *byName = twSymCreate(slots < 1031 ? 1031 : uint32_t(std::min<uint64_t>(slots, 1u << 28) | 1),
                                     twSymStrongHash, twSymStEqu, twSymReturn, twSymDummy);
    twSymDynamic(byName, 2.0, 2.0);
    Menu *ahead = reader.menus;
    for (int i = 0; i < LOOKAHEAD && ahead; ++i) ahead = ahead->next;
    for (Menu *m = reader.menus; m; m = m->next) {
        if (ahead) {
            twSymPrefetch(byName, ahead->name);
            ahead = ahead->next;
        }
        // The first menu of a name keeps it: a later one that displaced it
        // puts it back.
        void *first = twSymStore(byName, m->name, m);
        if (first) twSymStore(byName, m->name, first);
    }

    EntryCursor next(reader.menus);
    for (int i = 0; i < LOOKAHEAD && next.entry; ++i) next.advance();
    for (EntryCursor at(reader.menus); at.entry; at.advance()) {
        if (next.entry) {
            if (next.entry->action[0] == '&') twSymPrefetch(byName, next.entry->action + 1);
            next.advance();
        }
        MenuEntry *e = at.entry;
        if (e->action[0] != '&') continue;
        e->target = static_cast<Menu *>(twSymFetch(byName, e->action + 1));
        if (e->target) e->target->referrer = e;
    }
    twSymDestroy(byName, twSymDummy);
}

void freeMenus()
{
    Menu *m = reader.menus;
    while (m) {
        Menu *nextMenu = m->next;
        MenuEntry *e = m->entries;
        while (e) {
            MenuEntry *nextEntry = e->next;
            if (e->action) twStrFree(e->action);
            if (e->label) twStrFree(e->label);
            twMemFlFree(e, sizeof(MenuEntry));
            e = nextEntry;
        }
        if (m->name) twStrFree(m->name);
        twMemFlFree(m, sizeof(Menu));
        m = nextMenu;
    }
    reader.menus = nullptr;
    reader.lastMenu = nullptr;
    reader.menuCount = 0;
}
