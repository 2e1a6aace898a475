/* msgcomp.cpp - the message compiler: message headers into binary message
 * files.
 *
 * One pass over the header: each logical line that defines a message is
 * checked and its text written at once, followed by its argument table;
 * the owner, release and version go into string records. The index is kept
 * in memory and appended at the end, sorted by number, and the header's
 * fields are written last, so a compilation that stops early leaves the
 * header template (no index offset) behind.
 *
 * Everything the compilation holds lives in one Compile record of plain
 * buffers from the memory manager; an unwind record releases them should a
 * report function raise after all.
 */
#include "twlib/err/msgcomp.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/mem.h"
#include "twlib/regexp/regexp.h"
#include "twlib/text/literal.h"
#include "twlib/text/sprintf.h"

namespace {

constexpr const char *kTag = "twmsgcmp";
constexpr int32_t kCheckValue = 0x00010203;
constexpr int kHeaderInts = 15;
constexpr int kMaxPosition = 128;
constexpr int32_t kMaxMessages = 200000;  // a reader refuses a larger index
constexpr size_t kLineStep = 512;
constexpr size_t kFirstIndex = 100;

enum {
    H_CHECK = 0,
    H_MAJOR = 1,
    H_MINOR = 2,
    H_PATCH = 3,
    H_INDEX = 4,
    H_VERSION = 5,
    H_OWNER = 6,
    H_RELEASE = 7
};

/* ---- the definition pattern ---- */

// Compiled at the first use and released at exit.
twRegexpT *definePattern = nullptr;

void releasePattern(void *)
{
    twRegexpDestroy(definePattern);
    definePattern = nullptr;
}

const twRegexpT *pattern()
{
    if (!definePattern) {
        definePattern = twRegexpCompile("^#[ \t]*define[ \t]+[_a-zA-Z][_a-zA-Z0-9]*[ \t]+"
                                        "(-([12])|([0-9]+))[ \t]+/\\*[ \t]*\"");
        twOnExitAdd(releasePattern, nullptr);
    }
    return definePattern;
}

// The opening quote of a definition line's literal, or null when the line
// is not a definition; 'match' receives the groups.
const char *definitionQuote(const char *line, twRegexpMatch *match)
{
    if (!twRegexpExec(pattern(), match, line)) return nullptr;
    return match->end[0] - 1;
}

/* ---- logical lines ---- */

// A growing line buffer of the memory manager, in steps of 512 bytes.
struct LineBuffer {
    char *text;
    size_t length;
    size_t capacity;
};

void reserve(LineBuffer *b, size_t need, const char *tag)
{
    if (need <= b->capacity) return;
    // Steps of 512 bytes, at least doubling, so that a line joined from
    // many pieces costs a linear number of copies.
    size_t capacity = (need + kLineStep - 1) / kLineStep * kLineStep;
    if (capacity < 2 * b->capacity) capacity = 2 * b->capacity;
    if (capacity > UINT32_MAX && need <= UINT32_MAX) capacity = UINT32_MAX;
    if (capacity > UINT32_MAX) tw_Report("twmsgcmp", 4, "Message header line too long.");
    b->text = static_cast<char *>(twMemRealloc(b->text, static_cast<uint32_t>(capacity), tag));
    b->capacity = capacity;
}

void append(LineBuffer *b, const char *text, size_t length, const char *tag)
{
    reserve(b, b->length + length + 1, tag);
    memcpy(b->text + b->length, text, length);
    b->length += length;
    b->text[b->length] = '\0';
}

// Reads the next logical line into b (line feed dropped, a line ending in
// a backslash joined with the next without the backslash); counts the
// physical lines read in *lines. False at the end of the stream.
bool readLogicalLine(FILE *stream, LineBuffer *b, int *lines, const char *tag)
{
    b->length = 0;
    reserve(b, 1, tag);
    b->text[0] = '\0';
    bool any = false;
    for (;;) {
        const char *physical = twDufsFgetline(stream);
        if (!physical) return any;
        any = true;
        if (*lines < INT_MAX) ++*lines;
        size_t n = strlen(physical);
        if (n && physical[n - 1] == '\n') --n;
        if (n && physical[n - 1] == '\\') {
            append(b, physical, n - 1, tag);
            continue;
        }
        append(b, physical, n, tag);
        return true;
    }
}

/* ---- versions ---- */

// Reads "<digits>.<digits>.<digits>" and nothing else; each at most INT_MAX.
bool readVersion(const char *text, int *parts)
{
    const char *p = text;
    for (int i = 0; i < 3; i++) {
        if (*p < '0' || *p > '9') return false;
        long long v = 0;
        while (*p >= '0' && *p <= '9') {
            v = v * 10 + (*p++ - '0');
            if (v > INT_MAX) return false;
        }
        parts[i] = static_cast<int>(v);
        if (i < 2 && *p++ != '.') return false;
    }
    return *p == '\0';
}

// Reads the digits of a message number; false when it exceeds INT32_MAX.
bool readNumber(const char *p, const char *end, int32_t *number)
{
    long long v = 0;
    for (; p < end; ++p) {
        v = v * 10 + (*p - '0');
        if (v > INT32_MAX) return false;
    }
    *number = static_cast<int32_t>(v);
    return true;
}

/* ---- argument tables ---- */

struct ArgTable {
    int highest;                           // highest position used
    int nextSequential;                    // the position a plain reference takes
    unsigned char type[kMaxPosition + 1];  // type code per position; 0 unused
    int problem;                           // 0, or the report code found
};

// Types that travel as the same argument: short and char are passed as int.
int argClass(int code)
{
    return code == TW_SPARG_SHORT || code == TW_SPARG_CHAR ? TW_SPARG_INT : code;
}

bool usePosition(ArgTable *t, int position, int code)
{
    if (position < 1 || position > kMaxPosition) return false;
    if (t->type[position] && argClass(t->type[position]) != argClass(code)) return false;
    if (!t->type[position]) t->type[position] = static_cast<unsigned char>(code);
    if (position > t->highest) t->highest = position;
    return true;
}

bool hasGap(const ArgTable *t)
{
    for (int n = 1; n <= t->highest; n++)
        if (!t->type[n]) return true;
    return false;
}

int noteConversion(const twSpFmtDesc *desc, void *user)
{
    auto *t = static_cast<ArgTable *>(user);
    int kind = twSpFmtDescIs(desc);
    if (kind == TW_SPFMT_TEXT) return 1;
    if (kind != TW_SPFMT_CONV) {
        // The engine refuses a gap in the positions at the end of the parse,
        // with the whole format as the place; everything else is a bad
        // specification.
        bool gap = desc->cursor == desc->format && hasGap(t);
        t->problem = gap ? TW_MSGCOMP_POSITION_GAP : TW_MSGCOMP_BAD_FORMAT;
        return 0;
    }
    int is = twSpFmtArgIs(desc);
    int code = is & ~(TW_SPFMT_STAR_WIDTH | TW_SPFMT_STAR_PRECISION);
    bool ok = true;
    if (desc->position >= 1) {
        if (is & TW_SPFMT_STAR_WIDTH) ok = usePosition(t, desc->width, TW_SPARG_INT);
        if (ok && (is & TW_SPFMT_STAR_PRECISION)) ok = usePosition(t, desc->precision, TW_SPARG_INT);
        ok = ok && usePosition(t, desc->position, code);
    } else {
        // Plain references take the arguments in C's order: width,
        // precision, value.
        if (is & TW_SPFMT_STAR_WIDTH) ok = usePosition(t, t->nextSequential++, TW_SPARG_INT);
        if (ok && (is & TW_SPFMT_STAR_PRECISION)) ok = usePosition(t, t->nextSequential++, TW_SPARG_INT);
        ok = ok && usePosition(t, t->nextSequential++, code);
    }
    if (!ok) {
        t->problem = TW_MSGCOMP_BAD_FORMAT;
        return 0;
    }
    return 1;
}

/* ---- the compilation ---- */

struct IndexEntry {
    int32_t number;
    int32_t offset;
    int32_t length;  // text length with its zero byte
    int32_t line;    // where it was defined, for the duplicate report
};

struct Compile {
    FILE *header;
    twDufsB *output;
    twMsgCompReportFn report;
    void *data;

    LineBuffer line;  // the logical line, comment continuation included
    char *text;       // the decoded literal
    size_t textSize;
    IndexEntry *index;
    size_t count;
    size_t capacity;
    int32_t fields[kHeaderInts];
    int64_t position;  // where the next write goes
    int lineNumber;    // physical lines read
};

void release(void *arg)
{
    auto *c = static_cast<Compile *>(arg);
    if (c->line.text) twMemFree(c->line.text);
    if (c->text) twMemFree(c->text);
    if (c->index) twMemFree(c->index);
    c->line.text = nullptr;
    c->text = nullptr;
    c->index = nullptr;
}

// Non-zero: stop. A missing report function stops at every problem.
int report(const Compile *c, int code, int line, int number, const char *text)
{
    if (c->report) return c->report(code, line, number, text, c->data);
    return code < 0;
}

bool write(Compile *c, const void *data, int count, int size)
{
    if (count == 0) return true;
    if (twDufsBWrite(c->output, data, count, size) != count) return false;
    c->position += static_cast<int64_t>(count) * size;
    return true;
}

bool writeHeader(Compile *c)
{
    if (twDufsBFseek(c->output, 0, SEEK_SET) != 0) return false;
    return twDufsBWrite(c->output, c->fields, kHeaderInts, 4) == kHeaderInts;
}

// A string record: 16-bit length with the zero byte, then the bytes.
bool writeString(Compile *c, const char *text, size_t length)
{
    int16_t n = static_cast<int16_t>(length + 1);
    return write(c, &n, 1, 2) && write(c, text, static_cast<int>(length + 1), 1);
}

bool addEntry(Compile *c, int32_t number, int32_t length, int line)
{
    if (c->count == c->capacity) {
        // Grows by at least 100 entries, and by half once that is more, so
        // a large header costs no more than a linear number of copies.
        size_t more = std::max(kFirstIndex, c->capacity / 2);
        c->capacity += more;
        c->index = static_cast<IndexEntry *>(
            twMemRealloc(c->index, static_cast<uint32_t>(c->capacity * sizeof(IndexEntry)), kTag));
    }
    c->index[c->count++] = {number, static_cast<int32_t>(c->position), length, line};
    return true;
}

// Decodes the literal that opens at 'quote' and must close before 'end'
// (both in c->line) into c->text; false when it is not closed there.
bool decode(Compile *c, char *quote, char *end)
{
    // Room for every character of the comment, so that only a missing
    // closing quote can end the literal early.
    size_t size = static_cast<size_t>(end - quote) + 2;
    if (size > INT_MAX) return false;
    if (size > c->textSize) {
        c->text = static_cast<char *>(twMemRealloc(c->text, static_cast<uint32_t>(size), kTag));
        c->textSize = size;
    }
    char held = *end;
    *end = '\0';
    bool closed = twStrCvtFromLiteral(quote, c->text, static_cast<int>(size), '"', 0) != nullptr;
    *end = held;
    return closed;
}

enum Outcome { NEXT, STOP };

// Compiles the logical line in c->line, which matched the pattern; may read
// on for the end of the comment. Sets *result when the compilation stops.
Outcome compileDefinition(Compile *c, const twRegexpMatch *m, int startLine, int *result)
{
    const char *line = c->line.text;
    int32_t number;
    bool tooLarge = false;
    if (m->start[2]) {
        number = -(m->start[2][0] - '0');
    } else if (!readNumber(m->start[3], m->end[3], &number)) {
        number = 0;
        tooLarge = true;
    }
    size_t quoteAt = static_cast<size_t>(m->end[0] - 1 - line);

    // The comment ends at the first "*/" after the opening quote; it may
    // go on over further logical lines.
    char *close;
    size_t from = quoteAt + 1;  // no "*/" before this
    while (!(close = strstr(c->line.text + from, "*/"))) {
        size_t held = c->line.length;
        from = held;  // the joining line feed cannot end a "*/"
        LineBuffer more = {c->line.text, held, c->line.capacity};
        // Read the next logical line behind a line feed, in place.
        append(&more, "\n", 1, kTag);
        LineBuffer next = {nullptr, 0, 0};
        bool got = readLogicalLine(c->header, &next, &c->lineNumber, kTag);
        if (got) append(&more, next.text, next.length, kTag);
        if (next.text) twMemFree(next.text);
        c->line = more;
        if (!got) {
            report(c, TW_MSGCOMP_OPEN_COMMENT, startLine, number, c->line.text);
            *result = TW_MSGCOMP_OPEN_COMMENT;
            return STOP;
        }
    }
    line = c->line.text;
    char *quote = c->line.text + quoteAt;

    auto problem = [&](int code) {
        if (report(c, code, startLine, number, line)) {
            *result = code;
            return STOP;
        }
        return NEXT;
    };

    if (tooLarge) return problem(TW_MSGCOMP_TOO_LARGE);
    if (!decode(c, quote, close)) return problem(TW_MSGCOMP_BAD_LITERAL);
    const char *text = c->text;
    size_t length = strlen(text);

    ArgTable args = {};
    args.nextSequential = 1;
    twSpFmtParse(text, noteConversion, &args);
    if (args.problem) return problem(args.problem);

    if (length >= 3 && text[0] == '[' && text[2] == ']' && !strchr("DSIWEFZ", text[1])) {
        if (problem(TW_MSGCOMP_BAD_SEVERITY) == STOP) return STOP;
        // Kept as it is, prefix and all.
    }

    bool written;
    if (number < 0) {
        if (length >= INT16_MAX) return problem(TW_MSGCOMP_TOO_LARGE);
        c->fields[number == -1 ? H_OWNER : H_RELEASE] = static_cast<int32_t>(c->position);
        written = writeString(c, text, length);
    } else if (number == 0) {
        int parts[3];
        if (!readVersion(text, parts)) return problem(TW_MSGCOMP_BAD_VERSION);
        if (length >= INT16_MAX) return problem(TW_MSGCOMP_TOO_LARGE);
        c->fields[H_MAJOR] = parts[0];
        c->fields[H_MINOR] = parts[1];
        c->fields[H_PATCH] = parts[2];
        c->fields[H_VERSION] = static_cast<int32_t>(c->position);
        written = writeString(c, text, length);
    } else {
        int64_t tableBytes = 2 * (args.highest + 1);
        if (c->count >= static_cast<size_t>(kMaxMessages) || length >= INT32_MAX ||
            c->position + static_cast<int64_t>(length) + 1 + tableBytes > INT32_MAX)
            return problem(TW_MSGCOMP_TOO_LARGE);
        addEntry(c, number, static_cast<int32_t>(length + 1), startLine);
        int16_t table[kMaxPosition + 1];
        table[0] = static_cast<int16_t>(args.highest);
        for (int n = 1; n <= args.highest; n++) table[n] = args.type[n];
        written = write(c, text, static_cast<int>(length + 1), 1) && write(c, table, args.highest + 1, 2);
    }
    if (!written || c->position > INT32_MAX) {
        report(c, TW_MSGCOMP_WRITE_FAILED, 0, 0, "");
        *result = TW_MSGCOMP_WRITE_FAILED;
        return STOP;
    }
    report(c, TW_MSGCOMP_COMPILED, startLine, number, line);
    return NEXT;
}

int compileAll(Compile *c)
{
    twDufsBRewind(c->output);
    rewind(c->header);
    c->fields[H_CHECK] = kCheckValue;
    c->fields[H_MAJOR] = c->fields[H_MINOR] = c->fields[H_PATCH] = -1;
    if (twDufsBWrite(c->output, c->fields, kHeaderInts, 4) != kHeaderInts) {
        report(c, TW_MSGCOMP_WRITE_FAILED, 0, 0, "");
        return TW_MSGCOMP_WRITE_FAILED;
    }
    c->position = kHeaderInts * 4;

    for (;;) {
        int startLine = c->lineNumber + 1;
        if (!readLogicalLine(c->header, &c->line, &c->lineNumber, kTag)) break;
        twRegexpMatch m;
        if (!definitionQuote(c->line.text, &m)) {
            report(c, TW_MSGCOMP_NOT_MESSAGE, startLine, 0, c->line.text);
            continue;
        }
        int result = 0;
        if (compileDefinition(c, &m, startLine, &result) == STOP) return result;
    }

    std::stable_sort(c->index, c->index + c->count,
                     [](const IndexEntry &a, const IndexEntry &b) { return a.number < b.number; });
    for (size_t i = 1; i < c->count; i++) {
        // Once per number defined more than once, at its second definition.
        if (c->index[i].number != c->index[i - 1].number) continue;
        if (i >= 2 && c->index[i - 2].number == c->index[i].number) continue;
        if (report(c, TW_MSGCOMP_DUPLICATE, c->index[i].line, c->index[i].number, ""))
            return TW_MSGCOMP_DUPLICATE;
    }

    c->fields[H_INDEX] = static_cast<int32_t>(c->position);
    int32_t count = static_cast<int32_t>(c->count);
    bool ok = write(c, &count, 1, 4);
    for (size_t i = 0; ok && i < c->count; i++) {
        int32_t entry[3] = {c->index[i].number, c->index[i].offset, c->index[i].length};
        ok = write(c, entry, 3, 4);
    }
    if (!ok || !writeHeader(c) || fflush(twDufsBGetFD(c->output)) != 0) {
        report(c, TW_MSGCOMP_WRITE_FAILED, 0, 0, "");
        return TW_MSGCOMP_WRITE_FAILED;
    }
    return 0;
}

// A version line's buffer, kept for twMsgCompVerGet and released at exit.
LineBuffer verLine = {nullptr, 0, 0};

void releaseVerLine(void *)
{
    if (verLine.text) twMemFree(verLine.text);
    verLine = {nullptr, 0, 0};
}

}  // namespace

/* ------------------------------------------------------------------ */
/* Compiling                                                           */
/* ------------------------------------------------------------------ */

const char *twMsgCompCodeText(int code)
{
    switch (code) {
    case TW_MSGCOMP_COMPILED:
        return "compiled";
    case TW_MSGCOMP_NOT_MESSAGE:
        return "not a message definition, skipped";
    case TW_MSGCOMP_BAD_LITERAL:
        return "the string literal cannot be decoded (is its closing quote missing?)";
    case TW_MSGCOMP_NO_STREAM:
        return "no message header or no output file";
    case TW_MSGCOMP_WRITE_FAILED:
        return "writing the message file failed";
    case TW_MSGCOMP_BAD_FORMAT:
        return "a conversion cannot be parsed, or an argument position is above 128 or used with two types";
    case TW_MSGCOMP_OPEN_COMMENT:
        return "the comment is not closed before the end of the header";
    case TW_MSGCOMP_BAD_VERSION:
        return "the version is not three numbers joined by points";
    case TW_MSGCOMP_POSITION_GAP:
        return "the argument positions leave a gap";
    case TW_MSGCOMP_DUPLICATE:
        return "the message number is defined more than once";
    case TW_MSGCOMP_BAD_SEVERITY:
        return "unknown severity letter in the prefix (D, S, I, W, E, F or Z)";
    case TW_MSGCOMP_TOO_LARGE:
        return "too large for a message file (a number above 2147483647, an owner, release or version "
               "text of 32767 bytes or more, or more than 200000 messages)";
    default:
        return "unknown code";
    }
}

int twMsgCompCompile(FILE *header, twDufsB *output, twMsgCompReportFn report, void *data)
{
    Compile c = {};
    c.header = header;
    c.output = output;
    c.report = report;
    c.data = data;
    if (!header || !output) {
        ::report(&c, TW_MSGCOMP_NO_STREAM, 0, 0, "");
        return TW_MSGCOMP_NO_STREAM;
    }
    // A record that is not a binary stream raises here, before anything is
    // held.
    twDufsBGetFD(output);

    twUnwind unwind;
    tw_UnwindPush(&unwind, release, &c);
    int result = compileAll(&c);
    tw_UnwindPop(&unwind);
    release(&c);
    return result;
}

/* ------------------------------------------------------------------ */
/* Version lines                                                       */
/* ------------------------------------------------------------------ */

const char *twMsgCompVerValues(const char *text, int *major, int *minor, int *patch)
{
    int parts[3] = {-1, -1, -1};
    const char *looked = text;
    if (text) {
        twRegexpMatch m;
        const char *quote = definitionQuote(text, &m);
        if (quote) looked = quote;
        size_t size = strlen(looked) + 1;
        if (size <= INT_MAX) {
            auto *buffer = static_cast<char *>(twMemMalloc(static_cast<uint32_t>(size), kTag));
            if (!twStrCvtFromLiteral(looked, buffer, static_cast<int>(size), quote ? '"' : 0, 0) ||
                !readVersion(buffer, parts))
                parts[0] = parts[1] = parts[2] = -1;
            twMemFree(buffer);
        }
    }
    if (major) *major = parts[0];
    if (minor) *minor = parts[1];
    if (patch) *patch = parts[2];
    return looked;
}

const char *twMsgCompVerGet(FILE *header, int *major, int *minor, int *patch)
{
    int lines = 0;
    if (!verLine.text) twOnExitAdd(releaseVerLine, nullptr);
    if (!header || !readLogicalLine(header, &verLine, &lines, kTag)) {
        twMsgCompVerValues(nullptr, major, minor, patch);
        return nullptr;
    }
    twMsgCompVerValues(verLine.text, major, minor, patch);
    return verLine.text;
}

char *twMsgCompVerCreate(const char *name)
{
    static const char tail[] = "_M_VERSION 0 /* \"0.0.0\" */\n";
    if (!name) name = "";
    size_t n = strlen(name);
    size_t size = 8 + n + sizeof tail;
    if (size > UINT32_MAX) tw_Report("twmsgcmp", 4, "Message name too long.");
    auto *line = static_cast<char *>(twMemMalloc(static_cast<uint32_t>(size), kTag));
    memcpy(line, "#define ", 8);
    memcpy(line + 8, name, n);
    memcpy(line + 8 + n, tail, sizeof tail);
    return line;
}

char *twMsgCompVerMod(char *line, int major, int minor, int patch)
{
    if (!line) return nullptr;
    size_t old = strlen(line);
    twRegexpMatch m;
    size_t keep = definitionQuote(line, &m) ? static_cast<size_t>(m.end[0] - line) : (old ? 1 : 0);
    char version[64];
    int parts[3] = {major, minor, patch};
    for (int &p : parts) p = p < 0 ? 0 : p % 100000;
    int n = tw_Format(version, sizeof version, "%d.%d.%d\" */\n", parts[0], parts[1], parts[2]);
    size_t length = keep + static_cast<size_t>(n);
    if (length > old) {
        if (length + 1 > UINT32_MAX) tw_Report("twmsgcmp", 4, "Version line too long.");
        line = static_cast<char *>(twMemRealloc(line, static_cast<uint32_t>(length + 1), "twStaticBuffer"));
    }
    memcpy(line + keep, version, static_cast<size_t>(n) + 1);
    return line;
}
