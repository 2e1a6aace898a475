/* msgfile.cpp - numbered messages kept in binary message files.
 *
 * Open handles form one process-wide list; a name opened again returns its
 * handle with one more open counted. No file is read yet: every lookup
 * yields the debug-mode text for a missing message, so that raised errors
 * still say which message of which file they meant.
 */
#include "twlib/err/msgfile.h"

#include <cstdio>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/text/str.h"

struct twMsgFileHandle {
    twMsgFileHandle *next;
    char *name;  // pool string: the name the file was opened under
    char *owner; // pool string or null: the owner expected at the first open
    int refCount;
};

// Every open handle, newest first. Released by the close-all exit handler.
static twMsgFileHandle *openFiles = nullptr;
static bool exitHandlerAdded = false;

static void freeHandle(twMsgFileHandle *h)
{
    twStrFree(h->name);
    if (h->owner) twStrFree(h->owner);
    twMemFree(h);
}

static void closeAllFiles(void *)
{
    while (openFiles) {
        twMsgFileHandle *h = openFiles;
        openFiles = h->next;
        freeHandle(h);
    }
}

static bool isOpen(const twMsgFileHandle *file)
{
    for (const twMsgFileHandle *h = openFiles; h; h = h->next)
        if (h == file) return true;
    return false;
}

twMsgFileHandle *twMsgFileOpen(const char *name, const char *owner, const char *, const char *,
                               const char *)
{
    if (!exitHandlerAdded) {
        exitHandlerAdded = true;
        twOnExitAdd(closeAllFiles, nullptr);
        twOnExitSetOrder(closeAllFiles, 85);
    }
    if (name == nullptr) name = "";
    for (twMsgFileHandle *h = openFiles; h; h = h->next) {
        if (std::strcmp(h->name, name) == 0) {
            h->refCount++;
            return h;
        }
    }
    auto *h = static_cast<twMsgFileHandle *>(twMemMalloc(sizeof(twMsgFileHandle), "twMsgFileOpen"));
    h->name = twStrCpy(name);
    h->owner = owner ? twStrCpy(owner) : nullptr;
    h->refCount = 1;
    h->next = openFiles;
    openFiles = h;
    return h;
}

void twMsgFileClose(twMsgFileHandle *file)
{
    for (twMsgFileHandle **link = &openFiles; *link; link = &(*link)->next) {
        if (*link != file) continue;
        if (--file->refCount == 0) {
            *link = file->next;
            freeHandle(file);
        }
        return;
    }
}

const char *twMsgGetFilename(twMsgFileHandle *file)
{
    return isOpen(file) ? file->name : nullptr;
}

const char *twMsgGetOwner(twMsgFileHandle *file)
{
    return isOpen(file) ? file->owner : nullptr;
}

const char *twMsgStaticVa(twMsgFileHandle *file, int number, va_list)
{
    static char text[512];
    const char *name = isOpen(file) ? file->name : "";
    std::snprintf(text, sizeof text, "TWLIB Error %d: Can't find message #%d in message file %s%s%s!\n",
                  1021, number, name, ".", "tmb");
    return text;
}
