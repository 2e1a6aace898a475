/* step.cpp - stepping iterators over the entries of the working directories.
 *
 * The queue is a chain of two-word cells from a free list of its own; each
 * holds a pool copy of a full path, so nothing queued points into the
 * working-directory list or the listing cache.
 */
#include "tslib/step.h"

#include <cstring>

#include "tslib/loop.h"
#include "tslib/path.h"
#include "tslib/search_internal.h"
#include "twlib/core/exit.h"
#include "twlib/core/freelist.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"

using namespace tslib;

namespace {

struct WdirFile {
    WdirFile *next;
    char *path;  // pool string
};

twMemFl *cellList;
WdirFile *queueHead;
WdirFile *queueTail;
twStrBuf *stepBuffer;

void emptyQueue()
{
    WdirFile *c = queueHead;
    queueHead = queueTail = nullptr;
    while (c) {
        WdirFile *next = c->next;
        twStrFree(c->path);
        twMemFlFree2(cellList, c);
        c = next;
    }
}

void releaseQueueAtExit(void *)
{
    emptyQueue();
    if (cellList) twMemFlDestroy(cellList);
    cellList = nullptr;
}

void destroyStepBuffer(void *)
{
    if (stepBuffer) twStrBufDestroy(stepBuffer);
    stepBuffer = nullptr;
}

int queuePath(const char *path, void *)
{
    // The path is copied before the cell is linked in, so an allocation
    // that runs out of memory leaves the queue whole.
    char *copy = twStrCpy(path);
    auto *c = static_cast<WdirFile *>(twMemFlAlloc2(cellList));
    c->next = nullptr;
    c->path = copy;
    if (queueTail)
        queueTail->next = c;
    else
        queueHead = c;
    queueTail = c;
    return 1;
}

void prepareQueue(int start, int kind)
{
    if (start == 0) {
        emptyQueue();
        return;
    }
    if (start != -1) return;
    wdirEnsure();
    if (!cellList) {
        cellList = twMemFlCreate(sizeof(WdirFile), "wdirFileT");
        twOnExitAdd(releaseQueueAtExit, nullptr);
    }
    unsigned generation = wdirGeneration();
    for (const WdirElement *e = wdirFirst(); e; e = e->next) {
        char pattern[TS_PATH_SIZE];
        if (e->isCompat || !joinPath(pattern, e->path, "*")) continue;
        tsLoop(pattern, kind, queuePath);
        // Nothing the loop calls clears the list today; if it ever does,
        // 'e' went with it.
        if (generation != wdirGeneration()) break;
    }
}

char *popQueue()
{
    WdirFile *c = queueHead;
    if (!c) return nullptr;
    queueHead = c->next;
    if (!queueHead) queueTail = nullptr;
    char *path = c->path;
    twMemFlFree2(cellList, c);
    return path;
}

// Moves a pool string into the static buffer.
const char *toStatic(char *path)
{
    if (!path) return nullptr;
    if (!stepBuffer) {
        stepBuffer = twStrBufCreate(TS_PATH_SIZE);
        twOnExitAdd(destroyStepBuffer, nullptr);
    }
    twStrBufClear(stepBuffer);
    twStrBufAppend(stepBuffer, path);
    twStrFree(path);
    return twStrBufString(stepBuffer);
}

}  // namespace

char *tsStepWdirsAlloc(int start, int kind)
{
    prepareQueue(start, kind);
    return popQueue();
}

const char *tsStepWdirs(int start, int kind)
{
    return toStatic(tsStepWdirsAlloc(start, kind));
}

char *tsStepWdirsForNameAlloc(const char *pattern, int start, int kind)
{
    prepareQueue(start, kind);
    while (char *path = popQueue()) {
        char file[TS_PATH_SIZE];
        if (!pattern || (tsParse2(path, nullptr, nullptr, file) == TS_OK && twStrMat(pattern, file)))
            return path;
        twStrFree(path);
    }
    return nullptr;
}

const char *tsStepWdirsForName(const char *pattern, int start, int kind)
{
    return toStatic(tsStepWdirsForNameAlloc(pattern, start, kind));
}
