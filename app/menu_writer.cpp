/* menu_writer.cpp - the menu-script writer.
 *
 * A menu is written at most once: its written flag is set when the writer
 * starts on it, so a menu reached again through a cycle of links is not
 * re-entered. Sub-menus are written depth first, each before the first menu
 * that opens it; the depth-first walk keeps its own stack (tagged memory,
 * like every block the converter takes), so a chain of sub-menus of any
 * length is written without deep recursion.
 *
 * Every write is checked. A script that could not be written completely is
 * not left behind: the file is removed when the name still denotes the
 * regular file that was opened, and the same happens when the process is
 * ended by a fatal condition (out of memory) while the script is written.
 */
#include "app/menu_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "twlib/core/sizecheck.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

static const char INDENT[] = "                ";

// One step of the depth-first walk: a menu and the next of its entries
// whose target is still to be visited.
struct Frame {
    Menu *menu;
    const MenuEntry *entry;
};

// The walk's stack; kept over the whole script, so it grows once to the
// deepest chain of sub-menus.
struct WalkStack {
    Frame *frames;   // tagged block of 'room' frames, null until the first push
    uint32_t depth;  // frames in use
    uint32_t room;
};

constexpr uint32_t FIRST_ROOM = 8;
constexpr uint32_t MAX_ROOM = UINT32_MAX / sizeof(Frame);

static void push(WalkStack &stack, Menu *menu)
{
    if (stack.depth == stack.room) {
        // Deeper than a tagged block can hold: treated as exhausted memory.
        if (stack.room == MAX_ROOM) tw_SizeExhausted();
        uint32_t room = stack.room == 0 ? FIRST_ROOM : stack.room > MAX_ROOM / 2 ? MAX_ROOM : stack.room * 2;
        stack.frames = static_cast<Frame *>(
            twMemRealloc(stack.frames, room * (uint32_t)sizeof(Frame), "menu writer stack"));
        stack.room = room;
    }
    stack.frames[stack.depth++] = Frame{menu, menu->entries};
}

// The script is assembled in a buffer of the writer's own and handed to the
// stream a buffer at a time, without taking the stream's lock (the converter
// is single-threaded): a few stream calls per buffer instead of several per
// entry. The first failed hand-over is remembered; later text is dropped.
class ScriptOut {
public:
    explicit ScriptOut(FILE *out) : out_(out) {}
    // A literal's length is known without a scan.
    template <size_t N> void put(const char (&literal)[N]) { put(literal, N - 1); }
    void put(const char *text) { put(text, strlen(text)); }
    void put(const char *text, size_t n)
    {
        if (n > sizeof buffer_ - used_) {
            flush();
            if (n > sizeof buffer_) return hand(text, n);
        }
        memcpy(buffer_ + used_, text, n);
        used_ += n;
    }
    // True while every hand-over succeeded.
    bool flush()
    {
        if (used_ > 0) hand(buffer_, used_);
        used_ = 0;
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    void hand(const char *text, size_t n)
    {
        if (ok_ && fwrite_unlocked(text, 1, n, out_) != n) ok_ = false;
    }

    FILE *out_;
    size_t used_ = 0;
    bool ok_ = true;
    char buffer_[1 << 16];  // larger than the stream's own, which it passes by
};

static void writeMenuText(ScriptOut &out, const Menu *menu)
{
    out.put(menu->name);
    out.put("_menu := tcZr.MakeMenu(\"");
    out.put(menu->name);
    out.put("\",\n");
    bool first = true;
    for (const MenuEntry *e = menu->entries; e; e = e->next) {
        bool redSquare = false;
        // Only an action that begins with '&' can be a special one.
        if (!e->target && e->action[0] == '&') {
            if (twStrEqu(e->action, "&zr_plot")) continue;
            redSquare = twStrEqu(e->action, "&zr_window");
        }
        if (!first) out.put(",\n");
        first = false;
        out.put(INDENT);
        if (e->target) {
            out.put("list(\"");
            out.put(e->label);
            out.put("\",");
            out.put(e->target->name);
            out.put("_menu)");
        } else if (redSquare) {
            out.put("tcWin.RedSquareEntry");
        } else {
            out.put("list(\"");
            out.put(e->label);
            out.put("\",\"");
            out.put(e->action);
            out.put("\")");
        }
    }
    // A menu without written entries still closes its call.
    out.put(");\n\n");
}

// Writes the menu, its sub-menus first, unless it is written already; false
// once a write has failed.
static bool walkMenu(ScriptOut &out, WalkStack &stack, Menu *menu)
{
    if (menu->written) return out.ok();
    menu->written = 1;
    stack.depth = 0;
    push(stack, menu);
    while (stack.depth > 0) {
        Frame &top = stack.frames[stack.depth - 1];
        while (top.entry && (!top.entry->target || top.entry->target->written)) top.entry = top.entry->next;
        if (top.entry) {
            Menu *sub = top.entry->target;
            top.entry = top.entry->next;
            sub->written = 1;
            push(stack, sub);  // may move the frames: top is not used again
            continue;
        }
        writeMenuText(out, top.menu);
        if (!out.ok()) return false;
        stack.depth--;
    }
    return true;
}

int writeMenu(FILE *file, Menu *menu)
{
    ScriptOut out(file);
    WalkStack stack{};
    bool ok = walkMenu(out, stack, menu) && out.flush();
    if (stack.frames) twMemFree(stack.frames);
    return ok ? 0 : -1;
}

int writeMenus(FILE *file)
{
    ScriptOut out(file);
    WalkStack stack{};
    bool ok = true;
    for (Menu *m = reader.menus; m && ok; m = m->next)
        if (!m->referrer) ok = walkMenu(out, stack, m);
    // Menus that only open one another in a cycle (or only themselves) are
    // reached from none of the menus above; they follow in reading order.
    // Without such cycles every menu is written by now.
    for (Menu *m = reader.menus; m && ok; m = m->next) ok = walkMenu(out, stack, m);
    if (stack.frames) twMemFree(stack.frames);
    // With no menu there is nothing to hand over: the script stays empty
    // rather than naming a menu that does not exist.
    Menu *last = reader.lastMenu;
    if (ok && last) {
        out.put("\ntcFac.SetMenus (fac, ");
        out.put(last->name);
        out.put("_menu);\n");
    }
    return out.flush() ? 0 : -1;
}

// The script being written, so that a fatal end can take it back. The name
// is the caller's and outlives the writing.
static struct {
    const char *name;  // null when no script is being written
    bool regular;      // the opened file is a regular file
    dev_t dev;
    ino_t ino;
    twProc previousCleanup;
} pending;

// Removes the script when its name still denotes the regular file that was
// opened: never a device, a link or a file that replaced it meanwhile.
static void removePartialScript()
{
    struct stat st;
    if (pending.regular && lstat(pending.name, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == pending.dev &&
        st.st_ino == pending.ino)
        remove(pending.name);
}

// The cleanup procedure while a script is written: a fatal end leaves no
// partial script behind, then the procedure that was in force runs.
static int cleanupPartialScript()
{
    if (pending.name) removePartialScript();
    pending.name = nullptr;
    return pending.previousCleanup ? pending.previousCleanup() : 1;
}

static void beginScript(const char *name, FILE *out)
{
    struct stat st;
    bool known = fstat(fileno(out), &st) == 0;
    pending.regular = known && S_ISREG(st.st_mode);
    pending.dev = known ? st.st_dev : 0;
    pending.ino = known ? st.st_ino : 0;
    pending.name = name;
    pending.previousCleanup = twCleanupProcV;
    twCleanupProcV = cleanupPartialScript;
}

static void endScript()
{
    pending.name = nullptr;
    if (twCleanupProcV == cleanupPartialScript) twCleanupProcV = pending.previousCleanup;
}

int writeMenuScript(const char *name)
{
    FILE *out = fopen(name, "w");
    if (!out) {
        printf("Unable to open file %s\n", name);
        return -1;
    }
    // The writer hands the script over in pieces of its own buffer's size;
    // unbuffered, the stream passes each to the file in one write.
    setvbuf(out, nullptr, _IONBF, 0);
    printf("Writing %s ... ", name);
    beginScript(name, out);
    bool ok = writeMenus(out) == 0 && fflush(out) == 0 && !ferror(out);
    if (!ok && pending.regular) {
        // Emptied first, so that a script reached through a link, which is
        // not removed, does not look complete either.
        int emptied = ftruncate(fileno(out), 0);
        (void)emptied;
    }
    if (fclose(out) != 0) ok = false;
    if (!ok) removePartialScript();
    endScript();
    if (!ok) {
        printf("failed.\nUnable to write file %s\n", name);
        return -1;
    }
    printf("done.\n");
    return 0;
}
