/* errstream.h - error streams: how a piece of work went.
 *
 * A caller creates a stream and passes it to the reports (twErrReport,
 * twErrOut and their forms), which add every error they report to it. The
 * stream counts the errors by the severity of each chain's head and keeps
 * the chains themselves only while an output function shows them (the
 * alert flag): the default report adds an error and clears the alert at
 * once, so with it a stream keeps counts only.
 *
 * Streams are reference counted: the creator holds one reference, and a
 * holder that keeps a stream it did not create takes its own (twErrStream_TSCopy).
 * A stream whose last holder lets go while its alert is set stays until the
 * alert is cleared, and is freed then.
 */
#ifndef TWLIB_ERR_ERRSTREAM_H
#define TWLIB_ERR_ERRSTREAM_H

#include "twlib/core/base.h"
#include "twlib/err/error.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twErrStream twErrStream;

/* A new stream with an empty list, no alert, all counts 0 and one holder
 * (the caller: release with twErrStreamDestroy). Never null. */
twErrStream *twErrStreamCreate(void);
/* One holder less. The last one frees the stream and releases every error
 * it keeps; while the alert is set the stream is only marked, and is freed
 * when the alert is cleared. Null is ignored, and so is a further call on a
 * stream already marked. */
void twErrStreamDestroy(twErrStream *stream);

/* Takes a reference to 'error' (twErrCopy; the caller keeps its own),
 * appends it to the list (made again when a cleared alert dropped it) and
 * counts it by the head's severity; Fatal and Disabled errors are kept but
 * not counted. A null error is ignored. Counts stop at INT32_MAX. */
void twErrStreamAdd(twErrStream *stream, twErr *error);
/* The number of errors in the list; 0 when it was dropped. */
int twErrStreamCount(twErrStream *stream);
/* The error at 'index' (from 0) of the list, still owned by the stream;
 * null when there is no list or the index is negative or not below the
 * count. Walking the indexes in order costs one step each. */
twErr *twErrStreamError(twErrStream *stream, int index);

/* The alert flag: set while an output function shows the stream's errors,
 * which are then kept. */
int twErrStreamGetAlert(twErrStream *stream);
/* Stores the flag. Clearing it releases every error of the list and drops
 * the list (the counts stay); on a stream marked by twErrStreamDestroy it
 * frees the stream instead, unless a holder took a reference after the
 * mark, in which case the mark is forgotten and that holder's release
 * frees it. */
void twErrStreamSetAlert(twErrStream *stream, int flag);

/* The worst severity counted: Internal Error, then Error, Warning, Note
 * and Status; TW_SEV_DISABLED (6) when nothing was counted. */
int twErrStreamBaddest(twErrStream *stream);
/* Stores the counts of notes, warnings, errors and internal errors (a null
 * address is skipped) and returns the internal-error count. */
int twErrStreamSummary(twErrStream *stream, int *notes, int *warnings, int *errors, int *internals);
/* The exit status the counts call for: 3 with internal errors, else 2 with
 * errors, else 1 with warnings, else 0. */
int twErrStreamExitCode(twErrStream *stream);

/* The value operations of the stream's type specification (twErrStreamTS,
 * named "twErrStreamVT", built with the type specifications). TSPrint calls
 * emit(emitArg, text) once with "<n> message(s)", n the number of errors in
 * the list; TSCopy adds a holder and returns the stream; TSFree is
 * twErrStreamDestroy. */
typedef void (*twErrStreamEmitFn)(void *emitArg, const char *text);
void twErrStream_TSPrint(void *stream, twErrStreamEmitFn emit, void *emitArg);
void *twErrStream_TSCopy(void *stream);
void twErrStream_TSFree(void *stream);

#ifdef __cplusplus
}
#endif

#endif
