/* inifile.cpp - reading and rewriting ini files of preference databases.
 *
 * Every file and buffer a call holds is set up before its catch frame and
 * given back in both endings (arrays held across a value's text by unwind
 * records), so an exception from a value's parse or
 * format, or from the caller's line callback, leaves no file open and no
 * temporary file behind. No frame here holds a C++ object with a
 * destructor.
 */
#include "twlib/pref/inifile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tslib/dufs.h"
#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/fault.h"
#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Copies [begin, end) lower-cased into out (room for 81); false when longer
// than 80 characters or empty.
bool takeName(const char *begin, const char *end, char *out)
{
    size_t len = static_cast<size_t>(end - begin);
    if (len == 0 || len > 80) return false;
    for (size_t i = 0; i < len; ++i) {
        char c = begin[i];
        out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    out[len] = '\0';
    return true;
}

// Points past leading blanks and cuts trailing ones (in place).
char *trimInPlace(char *s)
{
    while (isBlank(*s)) ++s;
    size_t len = strlen(s);
    while (len > 0 && isBlank(s[len - 1])) s[--len] = '\0';
    return s;
}

bool wantsLine(twPrefUnknownLineFn fn)
{
    return fn && reinterpret_cast<void (*)()>(fn) != reinterpret_cast<void (*)()>(twDummyProc);
}

void reportFailure(const char *path, const char *what, int error)
{
    char text[512];
    snprintf(text, sizeof text, "The ini file could not be written (%s: %s); it was left as it was.",
             what, error ? strerror(error) : "write error");
    twErrOut3(path, "twlib", TW_SEV_ERROR, text);
}

// Appends the value's text of 'option' to 'buf', every piece in turn.
void appendValue(const twPrefOption *option, twStrBuf *buf)
{
    twTypeAppendText(option->spec, &option->value, buf);
}

void clearMarks(twPrefDB *db)
{
    int count = 0;
    twPrefOption **options = twPref_Options(db, &count);
    for (int i = 0; i < count; ++i) options[i]->flags &= static_cast<uint8_t>(~TW_PREF_WRITTEN_);
    twMemFree(options);
}

void clearAllMarks(twPrefDB *db)
{
    if (db) {
        clearMarks(db);
        return;
    }
    int count = 0;
    twPrefDB **dbs = twPref_Databases(0, &count);
    for (int i = 0; i < count; ++i) clearMarks(dbs[i]);
    twMemFree(dbs);
}

// The "|" that begins the comment of a value, or null: the first one, or
// for a quoted value the first one behind the closing quote.
const char *commentBar(const char *value)
{
    if (*value != '"') return strchr(value, '|');
    const char *p = value + 1;
    while (*p && *p != '"') p += (*p == '\\' && (p[1] == '"' || p[1] == '\\')) ? 2 : 1;
    return strchr(p, '|');
}

// The text of an old line rewritten for 'option' of 'owner' into 'out'.
void rewriteLine(const char *line, const twPrefIniLine *parsed, twPrefDB *owner,
                 twPrefOption *option, twStrBuf *out)
{
    twStrBufClear(out);
    if (!(option->flags & TW_PREF_COMPATIBLE)) twStrBufAppend(out, "|5.0 ");
    if (parsed->hasDatabase) {
        twStrBufAppend(out, owner->name);
        twStrBufAppend(out, ".");
    }
    twStrBufAppend(out, parsed->option);
    twStrBufAppend(out, " ");
    appendValue(option, out);
    if (const char *bar = commentBar(parsed->value)) {
        int column = static_cast<int>(bar - line);
        while (twStrBufLength(out) < column) twStrBufAppendChar(out, ' ');
        twStrBufAppend(out, bar);
    }
    option->flags |= TW_PREF_WRITTEN_;
}

void releaseArray(void *array)
{
    twMemFree(array);
}

void appendNew(twPrefDB *db, int qualify, twStrBuf *out)
{
    int count = 0;
    twPrefOption **options = twPref_Options(db, &count);
    // A value's text may raise.
    twUnwind u;
    tw_UnwindPush(&u, releaseArray, options);
    for (int i = 0; i < count; ++i) {
        twPrefOption *o = options[i];
        if ((o->flags & TW_PREF_WRITTEN_) || !(o->flags & TW_PREF_CHANGED)) continue;
        if (!(o->flags & TW_PREF_COMPATIBLE)) twStrBufAppend(out, "|5.0 ");
        if (qualify) {
            twStrBufAppend(out, db->name);
            twStrBufAppend(out, ".");
        }
        twStrBufAppend(out, o->name);
        twStrBufAppend(out, " ");
        appendValue(o, out);
        twStrBufAppend(out, "\n");
    }
    tw_UnwindPop(&u);
    twMemFree(options);
}

// What a write holds; everything is set up before the catch frame.
struct WriteState {
    FILE *out;
    FILE *old;
    char *tmp;
    twStrBuf *line;
    twStrBuf *text;
};

void releaseWrite(WriteState *s, bool removeTemporary)
{
    if (s->old) fclose(s->old);
    if (s->out) fclose(s->out);
    if (removeTemporary) remove(s->tmp);
    twStrFree(s->tmp);
    twStrBufDestroy(s->line);
    twStrBufDestroy(s->text);
}

// Copies the old file and the new options into the temporary file.
void writeAll(WriteState *s, twPrefDB *db, int qualify)
{
    while (s->old && twPref_ReadLine(s->old, s->line)) {
        char *t = trimInPlace(twStrBufString(s->line));
        twPrefIniLine parsed;
        twPrefDB *owner = nullptr;
        twPrefOption *option = nullptr;
        if (twPref_ParseIniLine(t, &parsed)) {
            if (db) {
                if (strcmp(parsed.database, db->key) == 0 || strcmp(parsed.database, TW_PREF_GLOBAL) == 0)
                    owner = db;
            } else if (parsed.hasDatabase) {
                owner = twPref_Find(0, parsed.database);
            }
            option = twPref_FindOption(owner, parsed.option);
        }
        if (option) {
            rewriteLine(t, &parsed, owner, option, s->text);
            fputs(twStrBufString(s->text), s->out);
        } else {
            fputs(t, s->out);
        }
        fputc('\n', s->out);
    }
    twStrBufClear(s->text);
    if (db) {
        appendNew(db, qualify, s->text);
    } else {
        int count = 0;
        twPrefDB **dbs = twPref_Databases(0, &count);
        twUnwind u;
        tw_UnwindPush(&u, releaseArray, dbs);
        for (int i = 0; i < count; ++i) appendNew(dbs[i], qualify, s->text);
        tw_UnwindPop(&u);
        twMemFree(dbs);
    }
    fputs(twStrBufString(s->text), s->out);
}

// The value text of a line: quoted values are only cut at "|" here.
void applyLine(twPrefOption *option, const char *value, twStrBuf *valueBuf)
{
    twPref_CutValue(value, valueBuf);
    twTypedata v = twTypeParse(option->spec, twStrBufString(valueBuf));
    twPref_Assign(option, v, 0, 0);
}

struct ReadState {
    FILE *file;
    twStrBuf *line;
    twStrBuf *copy;
    twStrBuf *value;
};

void releaseRead(ReadState *s)
{
    fclose(s->file);
    twStrBufDestroy(s->line);
    twStrBufDestroy(s->copy);
    twStrBufDestroy(s->value);
}

int readAll(ReadState *s, twPrefDB *db, twPrefUnknownLineFn unknownLine, void *arg)
{
    while (twPref_ReadLine(s->file, s->line)) {
        twStrBufClear(s->copy);
        twStrBufAppend(s->copy, twStrBufString(s->line));
        char *t = trimInPlace(twStrBufString(s->copy));
        twPrefIniLine parsed;
        twPrefOption *option = nullptr;
        if (twPref_ParseIniLine(t, &parsed) &&
            (strcmp(parsed.database, db->key) == 0 || strcmp(parsed.database, TW_PREF_GLOBAL) == 0))
            option = twPref_FindOption(db, parsed.option);
        if (option && !(option->flags & (TW_PREF_BY_PROGRAM | TW_PREF_BY_COMMAND))) {
            applyLine(option, parsed.value, s->value);
            continue;
        }
        if (wantsLine(unknownLine) && !unknownLine(arg, twStrBufString(s->line))) return 0;
    }
    return 1;
}

} // namespace

/* ---- line syntax ---- */

int twPref_ParseIniLine(const char *line, twPrefIniLine *out)
{
    if (!line || !out) return 0;
    memset(out, 0, sizeof *out);
    const char *p = line;
    if (*p == '|') {
        const char *end = p;
        while (*end && *end != ' ' && *end != '\t' && *end != '\n') ++end;
        if (end - p != 4 || strncmp(p, "|5.0", 4) != 0) return 0;
        out->marked = 1;
        p = end;
    }
    while (isBlank(*p)) ++p;
    const char *word = p;
    while (*p && *p != '.' && *p != ' ' && *p != '\t' && *p != '\n') ++p;
    if (*p == '.') {
        if (!takeName(word, p, out->database)) return 0;
        out->hasDatabase = 1;
        word = ++p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\n') ++p;
    } else {
        strcpy(out->database, TW_PREF_GLOBAL);
    }
    if (!takeName(word, p, out->option)) return 0;
    out->nameStart = word;
    while (isBlank(*p)) ++p;
    out->value = p;
    return 1;
}

void twPref_CutValue(const char *value, twStrBuf *buf)
{
    twStrBufClear(buf);
    if (!value) return;
    const char *bar = strchr(value, '|');
    size_t len = bar ? static_cast<size_t>(bar - value) : strlen(value);
    // The writer puts blanks before a comment to keep its column; they are
    // not part of the value.
    while (len > 0 && isBlank(value[len - 1])) --len;
    twStrBufAppendN(buf, value, static_cast<int>(len));
}

FILE *twPref_OpenIni(const char *name, char *source, char *resolved)
{
    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    char completed[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (!name || tsParse(name, node, dir, base, ext) != TS_OK) return nullptr;
    if (!node[0] && !dir[0]) {
        if (snprintf(completed, sizeof completed, "%s.%s", base, ext[0] ? ext : "ini") >=
            static_cast<int>(sizeof completed))
            return nullptr;
        if (tsGetini(completed, found) != TS_OK) return nullptr;
    } else {
        snprintf(completed, sizeof completed, "%s", name);
        snprintf(found, sizeof found, "%s", name);
    }
    FILE *f = fopen(found, "r");
    if (!f) return nullptr;
    if (source) snprintf(source, TS_PATH_SIZE, "%s", completed);
    if (resolved && tsAbsPath2(found, resolved) != TS_OK) snprintf(resolved, TS_PATH_SIZE, "%s", found);
    return f;
}

int twPref_ReadLine(FILE *file, twStrBuf *buf)
{
    twStrBufClear(buf);
    const char *line = twDufsFgetline(file);
    if (!line) return 0;
    size_t len = strlen(line);
    if (len > 0 && line[len - 1] == '\n') --len;
    twStrBufAppendN(buf, line, static_cast<int>(len));
    return 1;
}

/* ---- reading ---- */

int twPrefReadIniFile(twPrefDB *db, const char *path, twPrefUnknownLineFn unknownLine, void *arg)
{
    FILE *file = db ? twPref_OpenIni(path, nullptr, nullptr) : nullptr;
    if (!file) return 0;
    ReadState s = {file, twStrBufCreate(128), twStrBufCreate(128), twStrBufCreate(64)};
    volatile int result = 1;
    TW_TRY(TW_EX_ALL) {
        result = readAll(&s, db, unknownLine, arg);
    } TW_CATCH {
        releaseRead(&s);
        TW_EX_RETHROW();
    } TW_END_TRY;
    releaseRead(&s);
    return result;
}

/* ---- writing ---- */

int twPrefWriteIniFile(twPrefDB *db, const char *path, int qualify)
{
    if (!path || !path[0]) return 0;
    WriteState s = {};
    s.tmp = twStrCatAlloc(path, ".tmp");
    s.out = fopen(s.tmp, "w");
    if (!s.out) {
        reportFailure(path, s.tmp, errno);
        twStrFree(s.tmp);
        return 0;
    }
    s.old = fopen(path, "r");
    if (!s.old) {
        char found[TS_PATH_SIZE];
        if (tsGetini(path, found) == TS_OK) s.old = fopen(found, "r");
    }
    s.line = twStrBufCreate(128);
    s.text = twStrBufCreate(128);
    clearAllMarks(db);
    TW_TRY(TW_EX_ALL) {
        writeAll(&s, db, qualify);
    } TW_CATCH {
        clearAllMarks(db);
        releaseWrite(&s, true);
        TW_EX_RETHROW();
    } TW_END_TRY;
    clearAllMarks(db);

    int error = 0;
    const char *what = s.tmp;
    if (ferror(s.out) || fflush(s.out) != 0) error = errno ? errno : EIO;
    if (fclose(s.out) != 0 && !error) error = errno ? errno : EIO;
    s.out = nullptr;
    if (!error && rename(s.tmp, path) != 0) {
        error = errno;
        what = "rename";
    }
    if (error) {
        // The old file stays as it was; the half-done text goes.
        reportFailure(path, what, error);
        releaseWrite(&s, true);
        return 0;
    }
    releaseWrite(&s, false);
    return 1;
}
