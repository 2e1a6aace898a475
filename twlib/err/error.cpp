/* error.cpp - error records: creation, chains, counts, text forms, building
 * from messages and reading errors back.
 *
 * Records are free-list pieces tagged "errorObject"; their strings are pool
 * strings. Two calls can raise while a record is held: the message source
 * (while a malformed message's problem is built) and the caller's function
 * (while an error file is read). Each is wrapped in a catch frame that
 * releases the record and raises again; the frames crossed hold plain
 * pointers and C arrays only, no C++ object with a destructor.
 */
#include "twlib/err/error.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/freelist.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/regexp/regexp.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"

static const char *const severityNames[TW_SEV_COUNT] = {
    "Error", "Status", "Note", "Warning", "Fatal", "Internal Error", "Disabled"};
// The names of the severity type: the same but for "Internal".
static const char *const severityTypeNames[TW_SEV_COUNT] = {
    "Error", "Status", "Note", "Warning", "Fatal", "Internal", "Disabled"};
static const char severityLetters[TW_SEV_COUNT + 1] = "ESIWFZD";

static bool knownSeverity(int severity)
{
    return severity >= 0 && severity < TW_SEV_COUNT;
}

/* ---- creation and access ---- */

twErr *twErrCreate(const char *location, const char *app, int number, int severity,
                   const char *text)
{
    auto *e = static_cast<twErr *>(twMemFlAlloc(sizeof(twErr), "errorObject"));
    e->app = twStrCpy(app);
    e->location = twStrCpy(location);
    e->text = twStrCpy(text);
    e->next = nullptr;
    e->number = number;
    e->severity = severity;
    e->refCount = 1;
    return e;
}

twErr *twErrCreate2(const char *app, int severity, const char *text)
{
    return twErrCreate(nullptr, app, 0, severity, text);
}

const char *twErrApp(const twErr *error)
{
    return error ? error->app : nullptr;
}

const char *twErrLocation(const twErr *error)
{
    return error ? error->location : nullptr;
}

const char *twErrText(const twErr *error)
{
    return error ? error->text : nullptr;
}

int twErrNum(const twErr *error)
{
    return error ? error->number : 0;
}

int twErrSeverity(const twErr *error)
{
    return error ? error->severity : TW_SEV_ERROR;
}

static twErr *lastRecord(twErr *error)
{
    while (error->next) error = error->next;
    return error;
}

// A caller's mistake that would otherwise follow a null pointer.
TW_NORETURN static void refuseNull(const char *routine)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s: no error record given", routine);
    twExThrow2(TW_EX_PRECOND, "twlib", TW_SEV_ERROR, text);
}

twErr *twErrAppend(twErr *error, twErr *more)
{
    if (!error) refuseNull("twErrAppend");
    if (!more) return error;
    twErr *last = lastRecord(error);
    // Two chains that share a record share everything behind it, the last
    // record included; linking them would close a loop that every walk of
    // the chain (and every destroy) would follow forever.
    for (const twErr *r = more; r; r = r->next)
        if (r == last) return error;
    last->next = more;
    return error;
}

void twErrAppendText(twErr *error, const char *text)
{
    if (!error) refuseNull("twErrAppendText");
    if (!text) return;
    char *joined;
    if (error->text) {
        twStrBuf *b = twStrBufCreate(0);
        twStrBufAppendStrings(b, error->text, "\n", text, (const char *)nullptr);
        joined = twStrCpy(twStrBufString(b));
        twStrBufDestroy(b);
    } else {
        joined = twStrCpy(text);
    }
    twStrFree(error->text);
    error->text = joined;
}

int twErrLoop(twErr *error, twErrLoopFn fn, void *data)
{
    for (twErr *r = error; r; r = r->next)
        if (!fn(r, data)) return 0;
    return 1;
}

int twErrLoop2(twErr *error, twErrLoop2Fn fn, void *data1, void *data2)
{
    for (twErr *r = error; r; r = r->next)
        if (!fn(r, data1, data2)) return 0;
    return 1;
}

twErr *twErrCopy(twErr *error)
{
    for (twErr *r = error; r; r = r->next) r->refCount++;
    return error;
}

static void freeRecord(twErr *r)
{
    twStrFree(r->app);
    twStrFree(r->location);
    twStrFree(r->text);
    twMemFlFree(r, sizeof(twErr));
}

void twErrDestroy(twErr *error)
{
    while (error) {
        twErr *next = error->next;
        if (--error->refCount <= 0) freeRecord(error);
        error = next;
    }
}

void twErrDestroyTop(twErr **errorp, twErr *stop)
{
    twErr *head = *errorp;
    if (!head) return;
    twErr *cut = head; // the last record that goes
    while (cut->next && cut->next != stop) cut = cut->next;
    *errorp = cut->next;
    cut->next = nullptr;
    twErrDestroy(head);
}

/* ---- building from message files ---- */

static const twErrMessageSource *messageSource;

const twErrMessageSource *twErr_SetMessageSource(const twErrMessageSource *source)
{
    const twErrMessageSource *previous = messageSource;
    messageSource = source;
    return previous;
}

static const char *const problemText =
    "Problem building internal Error Handling message.  Perhaps someone should not have "
    "alterned the twlib message file.";

static twErr *buildMessage(const char *location, twMsgFileHandle *file, int number, va_list ap,
                           bool problemReport);

// Builds the library's own message about a malformed message (no
// arguments). Marked as a problem report, so that a malformed problem
// message falls back to the fixed text instead of building again.
static twErr *buildProblem(int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twMsgFileHandle *own = messageSource && messageSource->library ? messageSource->library()
                                                                    : nullptr;
    twErr *e = buildMessage(nullptr, own, number, ap, true);
    va_end(ap);
    return e;
}

// buildProblem while 'held' is not yet anyone's: should building raise (the
// library's own message file cannot be read), 'held' goes first.
static twErr *buildProblemHolding(int number, twErr *held)
{
    twErr *volatile result = nullptr;
    TW_TRY(TW_EX_ALL) {
        result = buildProblem(number);
    } TW_CATCH {
        twErrDestroy(held);
        TW_EX_RETHROW();
    } TW_END_TRY;
    return result;
}

static twErr *buildMessage(const char *location, twMsgFileHandle *file, int number, va_list ap,
                           bool problemReport)
{
    char fallback[40];
    const char *text;
    const char *name = nullptr;
    if (messageSource && messageSource->text) {
        // May raise (no such file or message): nothing is held yet.
        text = messageSource->text(file, number, ap);
        if (messageSource->name) name = messageSource->name(file);
    } else {
        std::snprintf(fallback, sizeof fallback, "message %d", number);
        text = fallback;
    }
    if (!text) text = "";

    twErr *e = twErrCreate(location, name, number, TW_SEV_ERROR, nullptr);
    int problem;
    if (text[0] == '[') {
        char token[128];
        const char *end = twStrTok(text + 1, token, sizeof token, "]");
        if (end && *end == ']') {
            const char *c = token;
            while (*c == ' ' || *c == '\t') c++;
            e->severity = twErrCharToSeverity((unsigned char)*c);
            if (end[1]) {
                e->text = twStrCpy(end + 1);
                return e;
            }
            problem = 1107;
        } else {
            problem = 1104;
        }
    } else {
        problem = 1101;
    }

    // The message text lives in the source's buffer, which the problem
    // message below overwrites: keep it first.
    e->text = twStrCpy(text);
    twErr *result;
    bool ownProblem = e->app && std::strcmp(e->app, "twlib") == 0 && number >= 1101 &&
                      number <= 1110;
    if (ownProblem || problemReport)
        result = twErrCreate("in call to routine twErrBuildVa()", "twlib", 0, TW_SEV_ERROR,
                             problemText);
    else
        result = buildProblemHolding(problem, e);
    return twErrAppend(result, e);
}

twErr *twErrBuildVa(const char *location, twMsgFileHandle *file, int number, va_list ap)
{
    return buildMessage(location, file, number, ap, false);
}

twErr *twErrBuild(const char *location, twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twErr *e = twErrBuildVa(location, file, number, ap);
    va_end(ap);
    return e;
}

/* ---- text forms ---- */

static void appendRecord(twStrBuf *b, const twErr *r, int style)
{
    if (r->app && std::strcmp(r->app, "USER_FORMATTED") == 0) {
        twStrBufAppend(b, r->text);
        return;
    }
    char number[16];
    twStrBufAppend(b, r->app);
    if (style == TW_ERR_TERSE) {
        char head[4] = {'-', twErrSeverityToChar(r->severity), 0, 0};
        twStrBufAppend(b, head);
        if (r->number != 0) {
            std::snprintf(number, sizeof number, "-%d", (int)r->number);
            twStrBufAppend(b, number);
        }
    } else {
        twStrBufAppendStrings(b, ": ", twErrSeverityToString(r->severity), (const char *)nullptr);
        if (r->number != 0) {
            std::snprintf(number, sizeof number, " %d", (int)r->number);
            twStrBufAppend(b, number);
        }
    }
    twStrBufAppend(b, ": ");
    if (r->location && r->location[0]) twStrBufAppendStrings(b, r->location, ": ", (const char *)nullptr);
    twStrBufAppend(b, r->text);
}

const char *twErr_String(const twErr *error, int style)
{
    // Built in a buffer of its own, then handed to twStrCat, whose static
    // buffers hold the result: one pass, however long the chain.
    twStrBuf *b = twStrBufCreate(0);
    for (const twErr *r = error; r; r = r->next) {
        if (r != error) twStrBufAppend(b, "\n+");
        appendRecord(b, r, style);
    }
    const char *s = twStrCat(twStrBufString(b), nullptr);
    twStrBufDestroy(b);
    return s;
}

const char *twErrString(const twErr *error, int context)
{
    int style = (context >= 0 && context < 4) ? twErrStyleV[context] : TW_ERR_VERBOSE;
    return twErr_String(error, style);
}

char *twErrStringAlloc(const twErr *error, int context)
{
    return twStrCpy(twErrString(error, context));
}

/* ---- severities ---- */

const char *twErrSeverityToString(int severity)
{
    return severityNames[knownSeverity(severity) ? severity : 0];
}

int twErrStringToSeverity(const char *name)
{
    if (!name) return TW_SEV_ERROR;
    for (int i = 0; i < TW_SEV_COUNT; i++)
        if (strcasecmp(name, severityNames[i]) == 0 || strcasecmp(name, severityTypeNames[i]) == 0)
            return i;
    return TW_SEV_ERROR;
}

char twErrSeverityToChar(int severity)
{
    return severityLetters[knownSeverity(severity) ? severity : 0];
}

int twErrCharToSeverity(int letter)
{
    if (letter <= 0 || letter > UCHAR_MAX) return TW_SEV_ERROR;
    int up = std::toupper(letter);
    for (int i = 0; i < TW_SEV_COUNT; i++)
        if (severityLetters[i] == up) return i;
    return TW_SEV_ERROR;
}

/* ---- reading text back ---- */

enum { FIELD_SIZE = 512 };


// Splits the next field off *p: white space skipped, then everything up to
// the first colon followed by a blank (a space, as the verbose form writes
// it) (at most FIELD_SIZE - 1 characters
// kept). *p moves past the colon and blank, or to the end. False when
// nothing but white space was left.
static bool splitField(const char **p, char *field)
{
    const char *s = *p;
    while (std::isspace((unsigned char)*s)) s++;
    if (!*s) {
        *p = s;
        return false;
    }
    int n = 0;
    while (*s && !(s[0] == ':' && s[1] == ' ')) {
        if (n < FIELD_SIZE - 1) field[n++] = *s;
        s++;
    }
    field[n] = 0;
    *p = *s ? s + 2 : s;
    return true;
}

// The severity word and the number of field 2; false when it is empty.
static bool parseSeverityField(const char *field, int *severity, int *number)
{
    char word[FIELD_SIZE];
    const char *p = twStrTok(field, word, sizeof word, " \t");
    if (!p) return false;
    *severity = twErrStringToSeverity(word);
    *number = 0;
    p = twStrTok(p, word, sizeof word, " \t");
    // The verbose form writes "Internal Error" in two words: its number
    // comes third.
    if (p && *severity == TW_SEV_INTERNAL && strcasecmp(word, "Error") == 0)
        p = twStrTok(p, word, sizeof word, " \t");
    if (p) {
        long v = std::strtol(word, nullptr, 10);
        *number = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int)v;
    }
    return true;
}

twErr *twErrCreateFromString(const char *line)
{
    if (!line) return nullptr;
    char app[FIELD_SIZE], sev[FIELD_SIZE], third[FIELD_SIZE];
    const char *p = line;
    if (!splitField(&p, app) || !splitField(&p, sev) || !splitField(&p, third)) return nullptr;
    int severity, number;
    if (!parseSeverityField(sev, &severity, &number)) return nullptr;
    const char *appName = app[0] == '+' ? app + 1 : app;
    if (*p) return twErrCreate(third, appName, number, severity, p);
    return twErrCreate(nullptr, appName, number, severity, third);
}

// The two patterns of an error file, compiled at first use and released
// at exit.
static twRegexpT *errorLinePattern;
static twRegexpT *continuationPattern;
// The line being read; grows as needed and is kept for the next read.
static twStrBuf *lineBuffer;
// A run of continuation lines, joined before they go into the record.
static twStrBuf *continuation;

static void releaseReader(void *)
{
    twRegexpDestroy(errorLinePattern);
    twRegexpDestroy(continuationPattern);
    twStrBufDestroy(lineBuffer);
    twStrBufDestroy(continuation);
    errorLinePattern = continuationPattern = nullptr;
    lineBuffer = continuation = nullptr;
}

static void setUpReader()
{
    if (errorLinePattern) return;
    errorLinePattern = twRegexpCompile("^\\+?([^:]+): +([A-Za-z ]+) *([0-9]+)?: +(.+)$");
    continuationPattern = twRegexpCompile("^[ \t]*:");
    lineBuffer = twStrBufCreate(100);
    continuation = twStrBufCreate(0);
    twOnExitAdd(releaseReader, nullptr);
}

// Reads one line into lineBuffer without its line end (a carriage return
// before the line feed goes too). False at end of file with nothing read.
static bool readLine(FILE *stream)
{
    twStrBufClear(lineBuffer);
    int c;
    bool any = false;
    while ((c = getc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        twStrBufAppendChar(lineBuffer, c);
    }
    int n = twStrBufLength(lineBuffer);
    if (c == '\n' && n > 0 && twStrBufString(lineBuffer)[n - 1] == '\r')
        twStrBufRemoveN(lineBuffer, 1);
    return any;
}

// Puts the gathered continuation lines behind the text of the chain's last
// record, all at once: appending them one by one would copy the growing
// text for every line.
static void flushContinuation(twErr *last)
{
    if (twStrBufLength(continuation) == 0) return;
    twErrAppendText(last, twStrBufString(continuation));
    twStrBufClear(continuation);
}

// Hands a finished chain to the caller's function. 'held' (may be null) is
// the error of the line that ended the chain, built before the call because
// the function may read another error file and so reuse the line buffer.
static int deliver(twErrChainFn fn, twErr *chain, void *data, twErr *held)
{
    if (!held) return fn(chain, data);
    volatile int result = 0;
    TW_TRY(TW_EX_ALL) {
        result = fn(chain, data);
    } TW_CATCH {
        twErrDestroy(held);
        TW_EX_RETHROW();
    } TW_END_TRY;
    return result;
}

int twErrReadErrorFile(FILE *stream, twErrChainFn fn, void *data)
{
    if (!stream || !fn)
        twExThrow2(TW_EX_PRECOND, "twlib", TW_SEV_ERROR,
                   "twErrReadErrorFile: no stream or no function given");
    setUpReader();
    twStrBufClear(continuation);
    // The chain being assembled and its last record: records are added at
    // the tail directly, so a long chain costs no walk per line.
    twErr *current = nullptr, *tail = nullptr;
    while (readLine(stream)) {
        const char *line = twStrBufString(lineBuffer);
        if (twRegexpExec(continuationPattern, nullptr, line)) {
            if (current) {
                if (twStrBufLength(continuation) > 0) twStrBufAppendChar(continuation, '\n');
                twStrBufAppend(continuation, line);
            }
            continue;
        }
        if (current) flushContinuation(tail);
        // A zero byte inside a line ends it for the pattern and the parse.
        twErr *e = twRegexpExec(errorLinePattern, nullptr, line) ? twErrCreateFromString(line)
                                                                 : nullptr;
        if (e && line[0] == '+') {
            if (current)
                tail->next = e;
            else
                current = e;
            tail = e;
            continue;
        }
        if (current) {
            twErr *done = current;
            current = tail = nullptr;
            if (!deliver(fn, done, data, e)) {
                twErrDestroy(e);
                return 0;
            }
        }
        current = tail = e;
    }
    if (current) {
        flushContinuation(tail);
        if (!deliver(fn, current, data, nullptr)) return 0;
    }
    return 1;
}
