/* report.cpp - the single road by which an error leaves the program.
 *
 * The settings are plain static data, so that a report works before
 * anything is initialised. The error log and the error streams sit above
 * this layer: the report reaches them through two hooks that the library's
 * wiring fills, and does without them while they are unset.
 *
 * No frame here holds a C++ object with a destructor. Building a message
 * may raise before anything is held; the output function and the hooks may
 * raise while an error and the report depth are held, and catch frames
 * give both back before raising again.
 */
#include "twlib/err/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/err/except.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

twErrOutFn twErrOutFuncV = twErrReport;
// Standard error is no constant: the value is set when the library is
// loaded, and a report made before that (or after a caller stored null)
// prints on standard error all the same.
FILE *twErrFileV = stderr;
int twErrStyleV[4] = {TW_ERR_VERBOSE, TW_ERR_TERSE, TW_ERR_TERSE, TW_ERR_VERBOSE};
int twErrActionV[TW_SEV_COUNT] = {TW_ERR_ACTION_ALERTBOX, TW_ERR_ACTION_ALERTBOX,
                                  TW_ERR_ACTION_ALERTBOX, TW_ERR_ACTION_ALERTBOX,
                                  TW_ERR_ACTION_ALERTBOX, TW_ERR_ACTION_ALERTBOX,
                                  TW_ERR_ACTION_ALERTBOX};
twPrefDB *twErrPrefV = nullptr;

static twErrLogHookFn logHook;
static twErrCountHookFn countHook;
static twErrArgv0HookFn argv0Hook;

twErrLogHookFn twErr_SetLogHook(twErrLogHookFn log)
{
    twErrLogHookFn previous = logHook;
    logHook = log;
    return previous;
}

twErrCountHookFn twErr_SetStreamHook(twErrCountHookFn count)
{
    twErrCountHookFn previous = countHook;
    countHook = count;
    return previous;
}

twErrArgv0HookFn twErr_SetArgv0Hook(twErrArgv0HookFn fn)
{
    twErrArgv0HookFn previous = argv0Hook;
    argv0Hook = fn;
    return previous;
}

static FILE *errorFile()
{
    return twErrFileV ? twErrFileV : stderr;
}

static const char *const fatalFormat = "\n*** Fatal error encountered ***\n%s\n";

TW_NORETURN static void endFatal(const twErr *error)
{
    FILE *f = errorFile();
    fprintf(f, fatalFormat, twErrString(error, TW_ERR_CNTX_STDERR));
    fflush(f);
    twAbort(error && error->severity == TW_SEV_INTERNAL);
}

/* ---- output through the replaceable function ---- */

// Reports made from within a report: a log that warns about itself is one
// level, an output function that reports what it was given another. Past
// this depth the reporting is feeding itself, and the process ends rather
// than recursing until the stack runs out.
enum { MAX_REPORT_DEPTH = 16 };
static int reportDepth;

// Counts one report in progress; the caller calls leaveReport when done.
// Too deep a nesting ends the process with the error in fatal form.
static void enterReport(const twErr *error)
{
    if (++reportDepth > MAX_REPORT_DEPTH) {
        reportDepth = 0;
        endFatal(error);
    }
}

static void leaveReport()
{
    if (reportDepth > 0) reportDepth--;
}

void twErrOut(twErrStream *stream, twErr *error)
{
    twErrOutFn out = twErrOutFuncV ? twErrOutFuncV : twErrReport;
    enterReport(error);
    // An output function may raise (it owns the error by then): the depth
    // must not stay counted, or enough caught raises would end the process
    // at the next report.
    TW_TRY(TW_EX_ALL) {
        out(stream, error);
    } TW_CATCH {
        leaveReport();
        TW_EX_RETHROW();
    } TW_END_TRY;
    leaveReport();
}

void twErrOutBuildVa(twErrStream *stream, const char *location, twMsgFileHandle *file, int number,
                     va_list ap)
{
    twErrOut(stream, twErrBuildVa(location, file, number, ap));
}

void twErrOutBuild(twErrStream *stream, const char *location, twMsgFileHandle *file, int number,
                   ...)
{
    va_list ap;
    va_start(ap, number);
    twErrOutBuildVa(stream, location, file, number, ap);
    va_end(ap);
}

void twErrOut2(const char *app, int severity, const char *text)
{
    twErrOut(nullptr, twErrCreate(nullptr, app, 0, severity, text));
}

void twErrOut3(const char *location, const char *app, int severity, const char *text)
{
    twErrOut(nullptr, twErrCreate(location, app, 0, severity, text));
}

/* ---- the default output function ---- */

static bool chainHolds(const twErr *chain, const twErr *record)
{
    for (; chain; chain = chain->next)
        if (chain == record) return true;
    return false;
}

// Everything of a report but the release of the error.
static void reportHeld(twErrStream *stream, twErr *error)
{
    // The pending exception error travels behind the reported one, and the
    // pending variable's reference goes with it; reporting the pending
    // error itself hands over that reference.
    if (twExErrV) {
        twErr *pending = twExErrV;
        twExErrV = nullptr;
        // The variable held one reference to every record of the pending
        // chain. A chain that shares records with the reported one (either
        // holds the other) only gives that reference back.
        if (pending != error) {
            if (chainHolds(error, pending) || chainHolds(pending, error))
                twErrDestroy(pending);
            else
                twErrAppend(error, pending);
        }
    }

    if (logHook) logHook(error);

    FILE *f = errorFile();
    switch (error->severity) {
    case TW_SEV_FATAL:
    case TW_SEV_INTERNAL:
        endFatal(error);
    case TW_SEV_DISABLED:
        break;
    default:
        if (stream && countHook) countHook(stream, error);
        fprintf(f, "%s\n", twErrString(error, TW_ERR_CNTX_STDERR));
        fflush(f);
        break;
    }
}

void twErrReport(twErrStream *stream, twErr *error)
{
    if (!error) return;
    enterReport(error);
    // The hooks reach the log and the streams, which may report (and so
    // raise, through an output function) in turn: the error and the depth
    // are given back on the way out.
    TW_TRY(TW_EX_ALL) {
        reportHeld(stream, error);
    } TW_CATCH {
        twErrDestroy(error);
        leaveReport();
        TW_EX_RETHROW();
    } TW_END_TRY;
    twErrDestroy(error);
    leaveReport();
}

void twErrReportBuildVa(twErrStream *stream, const char *location, twMsgFileHandle *file,
                        int number, va_list ap)
{
    twErrReport(stream, twErrBuildVa(location, file, number, ap));
}

void twErrReportBuild(twErrStream *stream, const char *location, twMsgFileHandle *file,
                      int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twErrReportBuildVa(stream, location, file, number, ap);
    va_end(ap);
}

void twErrReport2(const char *app, int severity, const char *text)
{
    twErrReport(nullptr, twErrCreate(nullptr, app, 0, severity, text));
}

void twErrFatal(const twErr *error)
{
    endFatal(error);
}

void twErrYell(const char *format, ...)
{
    if (!format) return;
    va_list ap;
    va_start(ap, format);
    const char *text = twSprintfStaticVa(format, ap);
    va_end(ap);
    FILE *f = errorFile();
    fputs(text ? text : "", f);
    fflush(f);
}

/* ---- locations ---- */

// Shared by the four location operations; each call overwrites it.
static char locationBuffer[512];

const char *twErrLocationLine(const char *file, int line)
{
    if (!file || !file[0]) return nullptr;
    if (line > 0)
        twSprintf(locationBuffer, sizeof locationBuffer, "%s, line %d", file, line);
    else
        twSprintf(locationBuffer, sizeof locationBuffer, "%s", file);
    return locationBuffer;
}

const char *twErrLocationFile(const char *file)
{
    if (!file || !file[0]) return nullptr;
    twSprintf(locationBuffer, sizeof locationBuffer, "%s", file);
    return locationBuffer;
}

const char *twErrLocationMessage(const char *file, int line, int number)
{
    bool named = file && file[0];
    if (named && line >= 1)
        twSprintf(locationBuffer, sizeof locationBuffer, "%s, line %d, message %d", file, line,
                  number);
    else if (named)
        twSprintf(locationBuffer, sizeof locationBuffer, "%s, message %d", file, number);
    else if (line >= 1)
        twSprintf(locationBuffer, sizeof locationBuffer, "line %d, message %d", line, number);
    else
        twSprintf(locationBuffer, sizeof locationBuffer, "message %d", number);
    return locationBuffer;
}

const char *twErrLocationRoutine(const char *routine)
{
    if (!routine || !routine[0]) return nullptr;
    twSprintf(locationBuffer, sizeof locationBuffer, "in call to routine %s()", routine);
    return locationBuffer;
}

/* ---- settings from preferences ---- */

// The "err" database lives above this layer; until the hooks are filled
// the static settings stand.
static twErrPrefsInitFn prefsInit;
static twErrPrefsReadFn prefsRead;

void twErr_SetPrefsHooks(twErrPrefsInitFn init, twErrPrefsReadFn read)
{
    prefsInit = init;
    prefsRead = read;
}

void twErrGetPrefs(void)
{
    if (prefsRead) prefsRead();
}

void twErrInit(int *argc, char **argv)
{
    static bool done;
    if (done) return;
    done = true;
    if (argv && (!argc || *argc > 0) && argv[0] && argv0Hook) argv0Hook(argv[0]);
    if (prefsInit) prefsInit(argc, argv);
    twErrGetPrefs();
}
