/* errstream.cpp - error streams: how a piece of work went.
 *
 * The stream keeps its chains in a cursor list, one reference each. The
 * list's cursor remembers the position twErrStreamError reached last
 * (cursorIndex), so reading the errors in order does not walk the list from
 * the head for every index.
 *
 * Destruction while the alert is set is deferred: the record stays with no
 * holder and destroyPending set, and clearing the alert completes it. The
 * clearing does not drop a holder of its own: that used to take the count
 * below zero, and the stream was never freed.
 */
#include "twlib/err/errstream.h"

#include <climits>

#include "twlib/containers/dlist.h"
#include "twlib/core/mem.h"
#include "twlib/text/sprintf.h"

struct twErrStream {
    twDlistList *errors;     // chains, one reference each; null once a cleared alert dropped it
    int32_t alert;           // set while an output function shows the errors
    int32_t destroyPending;  // the last holder let go while the alert was set
    int32_t statusCount;
    int32_t noteCount;
    int32_t warningCount;
    int32_t errorCount;
    int32_t internalCount;
    int32_t reserved;     // 0
    int32_t refCount;     // holders; 1 at creation, 0 only while destroyPending
    int32_t cursorIndex;  // index of the list's cursor cell, valid while it stands on one
};

namespace {

void destroyChain(void *chain, void *)
{
    twErrDestroy(static_cast<twErr *>(chain));
}

// Releases the chains; the list goes back to the pools.
void dropErrors(twErrStream *s)
{
    twDlistList *errors = s->errors;
    s->errors = nullptr;
    twDlistDestroyList(errors, destroyChain, nullptr);
}

void freeStream(twErrStream *s)
{
    dropErrors(s);
    twMemFree(s);
}

void bump(int32_t &count)
{
    if (count < INT32_MAX) count++;
}

}  // namespace

twErrStream *twErrStreamCreate(void)
{
    auto *s = static_cast<twErrStream *>(twMemMalloc(sizeof(twErrStream), "errorStream"));
    *s = twErrStream{};
    s->errors = twDlistCreate();
    s->refCount = 1;
    return s;
}

void twErrStreamDestroy(twErrStream *stream)
{
    if (!stream) return;
    if (stream->destroyPending && stream->refCount <= 0) return;
    if (--stream->refCount > 0) return;
    if (stream->alert) {
        stream->destroyPending = 1;
        return;
    }
    freeStream(stream);
}

void twErrStreamAdd(twErrStream *stream, twErr *error)
{
    if (!error) return;
    if (!stream->errors) stream->errors = twDlistCreate();
    twDlistAddTail(stream->errors, twErrCopy(error));
    stream->cursorIndex = twDlistSize(stream->errors) - 1;
    switch (twErrSeverity(error)) {
    case TW_SEV_STATUS:
        bump(stream->statusCount);
        break;
    case TW_SEV_NOTE:
        bump(stream->noteCount);
        break;
    case TW_SEV_WARNING:
        bump(stream->warningCount);
        break;
    case TW_SEV_ERROR:
        bump(stream->errorCount);
        break;
    case TW_SEV_INTERNAL:
        bump(stream->internalCount);
        break;
    default:
        break;  // Fatal and Disabled are not counted
    }
}

int twErrStreamCount(twErrStream *stream)
{
    return stream->errors ? twDlistSize(stream->errors) : 0;
}

twErr *twErrStreamError(twErrStream *stream, int index)
{
    twDlistList *l = stream->errors;
    if (!l || index < 0 || index >= twDlistSize(l)) return nullptr;
    // Step from whichever is nearest: the head, the tail or the cell the
    // cursor stands on.
    int size = twDlistSize(l);
    twDlistCell *cur = twDlistCurCell(l);
    int at = stream->cursorIndex;
    int distance = index > at ? index - at : at - index;
    if (!cur || at < 0 || at >= size || index < distance) {
        at = 0;
        distance = index;
        twDlistHead(l);
    }
    if (size - 1 - index < distance) {
        at = size - 1;
        twDlistTail(l);
    }
    for (; at < index; at++) twDlistNxtCell(l);
    for (; at > index; at--) twDlistPreCell(l);
    stream->cursorIndex = index;
    return static_cast<twErr *>(twDlistCurElement(l));
}

int twErrStreamGetAlert(twErrStream *stream)
{
    return stream->alert;
}

void twErrStreamSetAlert(twErrStream *stream, int flag)
{
    stream->alert = flag;
    if (flag) return;
    if (stream->destroyPending) {
        if (stream->refCount <= 0) {
            freeStream(stream);
            return;
        }
        // A holder took a reference after the last one let go: the stream
        // is theirs now, and their release frees it.
        stream->destroyPending = 0;
    }
    dropErrors(stream);
}

int twErrStreamBaddest(twErrStream *stream)
{
    if (stream->internalCount > 0) return TW_SEV_INTERNAL;
    if (stream->errorCount > 0) return TW_SEV_ERROR;
    if (stream->warningCount > 0) return TW_SEV_WARNING;
    if (stream->noteCount > 0) return TW_SEV_NOTE;
    if (stream->statusCount > 0) return TW_SEV_STATUS;
    return TW_SEV_DISABLED;
}

int twErrStreamSummary(twErrStream *stream, int *notes, int *warnings, int *errors, int *internals)
{
    if (notes) *notes = stream->noteCount;
    if (warnings) *warnings = stream->warningCount;
    if (errors) *errors = stream->errorCount;
    if (internals) *internals = stream->internalCount;
    return stream->internalCount;
}

int twErrStreamExitCode(twErrStream *stream)
{
    if (stream->internalCount > 0) return 3;
    if (stream->errorCount > 0) return 2;
    if (stream->warningCount > 0) return 1;
    return 0;
}

void twErrStream_TSPrint(void *stream, twErrStreamEmitFn emit, void *emitArg)
{
    char text[32];
    int count = stream ? twErrStreamCount(static_cast<twErrStream *>(stream)) : 0;
    twSprintf(text, sizeof text, "%d message(s)", count);
    emit(emitArg, text);
}

void *twErrStream_TSCopy(void *stream)
{
    auto *s = static_cast<twErrStream *>(stream);
    if (s && s->refCount < INT32_MAX) s->refCount++;
    return stream;
}

void twErrStream_TSFree(void *stream)
{
    twErrStreamDestroy(static_cast<twErrStream *>(stream));
}
