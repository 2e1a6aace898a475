/* menu_writer.cpp - the menu-script writer.
 *
 * A menu is written at most once: its written flag is set when the writer
 * starts on it, so a menu reached again through a cycle of links is not
 * re-entered. Sub-menus are written depth first, each before the first menu
 * that opens it; the depth-first walk keeps its own stack, so a chain of
 * sub-menus of any length is written without deep recursion.
 */
#include "app/menu_writer.h"

#include <vector>

#include "twlib/containers/list.h"
#include "twlib/text/str.h"

static const char INDENT[] = "                ";

static void writeMenuText(FILE *out, const Menu *menu)
{
    fprintf(out, "%s_menu := tcZr.MakeMenu(\"%s\",\n", menu->name, menu->name);
    bool first = true;
    for (const MenuEntry *e = menu->entries; e; e = e->next) {
        bool redSquare = false;
        if (!e->target) {
            if (twStrEqu(e->action, "&zr_plot")) continue;
            redSquare = twStrEqu(e->action, "&zr_window");
        }
        if (!first) fputs(",\n", out);
        first = false;
        if (e->target) fprintf(out, "%slist(\"%s\",%s_menu)", INDENT, e->label, e->target->name);
        else if (redSquare) fprintf(out, "%stcWin.RedSquareEntry", INDENT);
        else fprintf(out, "%slist(\"%s\",\"%s\")", INDENT, e->label, e->action);
    }
    // A menu without written entries still closes its call.
    fputs(");\n", out);
    fputs("\n", out);
}

void writeMenu(FILE *out, Menu *menu)
{
    if (menu->written) return;
    menu->written = 1;

    struct Frame {
        Menu *menu;
        const MenuEntry *entry; // next entry whose target is still to be visited
    };
    std::vector<Frame> stack{{menu, menu->entries}};
    while (!stack.empty()) {
        Frame &top = stack.back();
        while (top.entry && (!top.entry->target || top.entry->target->written))
            top.entry = top.entry->next;
        if (top.entry) {
            Menu *sub = top.entry->target;
            top.entry = top.entry->next;
            sub->written = 1;
            stack.push_back({sub, sub->entries}); // invalidates top
            continue;
        }
        writeMenuText(out, top.menu);
        stack.pop_back();
    }
}

void writeMenus(FILE *out)
{
    for (Menu *m = reader.menus; m; m = m->next)
        if (!m->referrer) writeMenu(out, m);
    // With no menu there is nothing to hand over: the script stays empty
    // rather than naming a menu that does not exist.
    auto *last = static_cast<Menu *>(twListLast(reader.menus));
    if (last) fprintf(out, "\ntcFac.SetMenus (fac, %s_menu);\n", last->name);
}

void writeMenuScript(const char *name)
{
    FILE *out = fopen(name, "w");
    if (!out) {
        printf("Unable to open file %s\n", name);
        return;
    }
    printf("Writing %s ... ", name);
    writeMenus(out);
    fclose(out);
    printf("done.\n");
}
