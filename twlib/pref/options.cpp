/* options.cpp - the command-line handler, twPrefParse with its ini
 * registry, the usage list and the two small scanners.
 *
 * Ini files read by twPrefParse are kept as text in the ini registry (one
 * database per name found, of plain string options that remember their
 * file and line) and applied from there, so that the precedence of the
 * sources does not depend on the order of the calls. Scratch held across a
 * raise (arrays of databases and options) is given back by unwind records;
 * no frame holds a C++ object with a destructor.
 */
#include "twlib/pref/options.h"

#include <cstdio>
#include <cstring>

#include "tslib/path.h"
#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/mem.h"
#include "twlib/err/errlog.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/pref/inifile.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"

namespace {

// The shorthand database: its name, whether it is set, whether it is off.
char shorthand[81];
bool shorthandSet;
bool shorthandOff;

// Resolved paths of the ini files twPrefParse has read (kept keys).
twSymTable *filesRead;

twMsgFileHandle *catalogue()
{
    return twEx_LibraryMessageFile("twlib");
}

void destroyFilesRead(void *)
{
    twSymDestroy(filesRead, twSymDummy);
    filesRead = nullptr;
}

void deriveShorthand(int argc, char **argv)
{
    if (shorthandSet || shorthandOff || argc < 1 || !argv || !argv[0] || !argv[0][0]) return;
    char base[TS_PATH_SIZE];
    if (tsParse(argv[0], nullptr, nullptr, base, nullptr) != TS_OK || !base[0]) return;
    snprintf(shorthand, sizeof shorthand, "%.80s", base);
    shorthandSet = true;
}

bool shorthandUsable()
{
    return shorthandSet && !shorthandOff;
}

void lowerInto(char *dst, const char *src, size_t len)
{
    for (size_t i = 0; i < len; ++i) {
        char c = src[i];
        dst[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    dst[len] = '\0';
}

// The three two-valued enumerations, whose options take no value on the
// command line and read the words on/yes/true/1 and off/no/false/0.
bool isBoolean(const twTypeSpec *spec)
{
    if (!spec) return false;
    if (spec == &twOnOffTS || spec == &twYesNoTS || spec == &twTrueFalseTS) return true;
    return spec->name && spec->behaviour == &twEnumTB &&
           (strcmp(spec->name, "twOnOffVT") == 0 || strcmp(spec->name, "twYesNoVT") == 0 ||
            strcmp(spec->name, "twTrueFalseVT") == 0);
}

const char *enumName(const twTypeSpec *spec, int index)
{
    auto *p = static_cast<const twTypeEnumParams *>(spec->params);
    return p && index < p->count && p->names ? p->names[index] : "";
}

/* ---- the command-line handler ---- */

int commandHandler(const char *argument, const char *next, void *)
{
    char dbKey[81], optKey[81];
    const char *designation = argument + 1;
    const char *dot = strchr(designation, '.');
    const char *option;
    if (dot && dot > designation) {
        size_t len = static_cast<size_t>(dot - designation);
        if (len > 80) return 3;
        lowerInto(dbKey, designation, len);
        option = dot + 1;
    } else {
        if (!shorthandUsable()) return 3;
        lowerInto(dbKey, shorthand, strlen(shorthand));
        option = dot ? dot + 1 : designation;
    }
    size_t len = strlen(option);
    if (len < 1 || len > 80) return 3;
    lowerInto(optKey, option, len);
    twPrefOption *o = twPref_FindOption(twPref_Find(0, dbKey), optKey);
    if (!o) return 3;
    if (isBoolean(o->spec)) {
        twPref_Assign(o, twTypeLongToTypedata(argument[0] == '+' ? 1 : 0), TW_PREF_BY_COMMAND, 0);
        return 1;
    }
    if (!next) return 3;
    twTypedata v = twTypeParse(o->spec, next);
    twPref_Assign(o, v, TW_PREF_BY_COMMAND, 0);
    return 2;
}

/* ---- reading ini files into the ini registry ---- */

// Reads a quoted value (at its opening quote) into buf, with the escapes
// of the quoting tokenizer; raises 1503 without a closing quote and 1504
// for anything but blanks between it and "|" or the end.
void readQuoted(const char *value, twStrBuf *buf)
{
    twStrBufClear(buf);
    const char *p = value + 1;
    for (;;) {
        if (!*p) twExThrowBuild(TW_EX_POSTCOND, nullptr, catalogue(), 1503);
        if (*p == '"') break;
        if (*p == '\\' && (p[1] == '"' || p[1] == '\\')) ++p;
        twStrBufAppendChar(buf, *p++);
    }
    ++p;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p && *p != '|') twExThrowBuild(TW_EX_POSTCOND, nullptr, catalogue(), 1504);
}

void keepIniValue(const twPrefIniLine *line, const char *text, const char *source, int lineNo)
{
    twPrefDB *idb = twPref_Find(1, line->database);
    if (!idb) idb = twPref_IniCreate(line->database);
    twPrefOption *o = twPref_FindOption(idb, line->option);
    twTypedata v = twTypePtrToTypedata(const_cast<char *>(text));
    if (o) {
        twPref_Assign(o, twTypeCopyValue(o->spec, v), 0, 0);
    } else {
        twPrefAdd(idb, line->option, &twStringTS, "", &v);
        o = twPref_FindOption(idb, line->option);
    }
    twStrFree(o->source);
    o->source = twStrCpy(source);
    o->sourceLine = lineNo;
}

struct LoadState {
    FILE *file;
    twStrBuf *line;
    twStrBuf *value;
    char source[TS_PATH_SIZE];
    int lineNo;
};

void releaseLoad(LoadState *s)
{
    fclose(s->file);
    twStrBufDestroy(s->line);
    twStrBufDestroy(s->value);
}

void loadLines(LoadState *s)
{
    while (twPref_ReadLine(s->file, s->line)) {
        ++s->lineNo;
        char *t = twStrTrim(twStrBufString(s->line));
        twPrefIniLine parsed;
        if (!twPref_ParseIniLine(t, &parsed)) continue;
        if (parsed.value[0] == '"')
            readQuoted(parsed.value, s->value);
        else
            twPref_CutValue(parsed.value, s->value);
        keepIniValue(&parsed, twStrBufString(s->value), s->source, s->lineNo);
    }
}

// 1 when read (or read before), 0 when it cannot be opened.
int loadIni(const char *iniName)
{
    char resolved[TS_PATH_SIZE];
    LoadState *s = static_cast<LoadState *>(twMemMalloc(sizeof(LoadState), "twPrefIniRead"));
    s->file = twPref_OpenIni(iniName, s->source, resolved);
    if (!s->file) {
        twMemFree(s);
        return 0;
    }
    if (!filesRead) {
        filesRead = twSymCreate(13, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
        twOnExitAdd2(destroyFilesRead);
    }
    if (twSymFetchAddr(filesRead, resolved)) {
        fclose(s->file);
        twMemFree(s);
        return 1;
    }
    twSymStore(filesRead, resolved, nullptr);
    s->line = twStrBufCreate(128);
    s->value = twStrBufCreate(64);
    s->lineNo = 0;
    TW_TRY(TW_EX_ALL) {
        loadLines(s);
    } TW_CATCH {
        char location[TS_PATH_SIZE + 32];
        snprintf(location, sizeof location, "%s", twErrLocationLine(s->source, s->lineNo));
        releaseLoad(s);
        twMemFree(s);
        twExThrowBuild(TW_EX_POSTCOND, location, catalogue(), 1501);
    } TW_END_TRY;
    releaseLoad(s);
    twMemFree(s);
    return 1;
}

/* ---- applying the ini registry ---- */

// The boolean types read the words of all three.
const char *booleanWord(const twTypeSpec *spec, const char *text)
{
    static const char *const trueWords[] = {"on", "yes", "true", "1"};
    static const char *const falseWords[] = {"off", "no", "false", "0"};
    for (const char *w : trueWords)
        if (twStrIequ(text, w)) return enumName(spec, 1);
    for (const char *w : falseWords)
        if (twStrIequ(text, w)) return enumName(spec, 0);
    return text;
}

// Applies the text of an ini option to 'o'. Quietly, a refusal is dropped
// and leaves nothing pending.
// 1 when the text parses (the value in twTypeReturnDataV); a refusal is
// dropped and leaves nothing pending.
int parseQuietly(const twTypeSpec *spec, const char *text)
{
    volatile int parsed = 1;
    TW_TRY(TW_EX_ALL) {
        twTypeParse(spec, text);
    } TW_CATCH {
        parsed = 0;
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return parsed;
}

void applyValue(twPrefOption *o, const char *text, bool quiet)
{
    if (o->flags & (TW_PREF_BY_PROGRAM | TW_PREF_BY_COMMAND)) return;
    if (quiet && (o->flags & TW_PREF_BY_DATABASE)) return;
    if (isBoolean(o->spec)) text = booleanWord(o->spec, text);
    twTypedata v;
    if (quiet) {
        if (!parseQuietly(o->spec, text)) return;
        v = twTypeReturnDataV;
        twPref_Assign(o, v, TW_PREF_BY_GLOBAL, 0);
    } else {
        v = twTypeParse(o->spec, text);
        twPref_Assign(o, v, TW_PREF_BY_DATABASE, TW_PREF_BY_GLOBAL);
    }
}

const char *iniText(const twPrefOption *io)
{
    return io->value.p ? static_cast<const char *>(io->value.p) : "";
}

void releaseArray(void *array)
{
    twMemFree(array);
}

// A database line's value, raised again as 1501 at its file and line.
void applyDatabaseLine(twPrefOption *target, const twPrefOption *io)
{
    TW_TRY(TW_EX_ALL) {
        applyValue(target, iniText(io), false);
    } TW_CATCH {
        const char *where = twErrLocationLine(io->source, io->sourceLine);
        char location[TS_PATH_SIZE + 32];
        snprintf(location, sizeof location, "%s", where ? where : "");
        twExThrowBuild(TW_EX_POSTCOND, where ? location : nullptr, catalogue(), 1501);
    } TW_END_TRY;
}

void applyIniDatabase(twPrefDB *idb, int pass, twPrefDB **dbs, int dbCount)
{
    int count = 0;
    twPrefOption **options = twPref_Options(idb, &count);
    twUnwind u;
    tw_UnwindPush(&u, releaseArray, options);
    for (int i = 0; i < count; ++i) {
        twPrefOption *io = options[i];
        if (pass == 0) {
            twPrefOption *target = twPref_FindOption(twPref_Find(0, idb->key), io->key);
            if (target) applyDatabaseLine(target, io);
        } else {
            for (int d = 0; d < dbCount; ++d) {
                twPrefOption *target = twPref_FindOption(dbs[d], io->key);
                if (target) applyValue(target, iniText(io), true);
            }
        }
    }
    tw_UnwindPop(&u);
    twMemFree(options);
}

void applyIniRegistry()
{
    int iniCount = 0, dbCount = 0;
    twPrefDB **inis = twPref_Databases(1, &iniCount);
    twUnwind u1;
    tw_UnwindPush(&u1, releaseArray, inis);
    twPrefDB **dbs = twPref_Databases(0, &dbCount);
    twUnwind u2;
    tw_UnwindPush(&u2, releaseArray, dbs);
    for (int i = 0; i < iniCount; ++i)
        if (strcmp(inis[i]->key, TW_PREF_GLOBAL) != 0) applyIniDatabase(inis[i], 0, dbs, dbCount);
    if (twPrefDB *global = twPref_Find(1, TW_PREF_GLOBAL)) applyIniDatabase(global, 1, dbs, dbCount);
    tw_UnwindPop(&u1);
    twMemFree(dbs);
    twMemFree(inis);
}

/* ---- usage ---- */

// Keeps the last piece a format hands over.
void keepLastPiece(void *arg, const char *text)
{
    auto *buf = static_cast<twStrBuf *>(arg);
    twStrBufClear(buf);
    twStrBufAppend(buf, text ? text : "");
}

void printHelp(const char *help)
{
    const size_t width = 58;
    const char *p = help;
    while (*p) {
        size_t len = strlen(p);
        size_t cut = len;
        bool dropSeparator = false;
        const char *nl = static_cast<const char *>(memchr(p, '\n', len < width ? len : width));
        if (nl) {
            cut = static_cast<size_t>(nl - p);
            dropSeparator = true;
        } else if (len > width) {
            size_t i = width + 1;
            while (i > 0 && !strchr(" \t\n", p[i - 1])) --i;
            if (i > 0) {
                cut = i - 1;
                dropSeparator = true;
            } else {
                size_t j = width;
                while (j < len && !strchr(" \t\n", p[j])) ++j;
                cut = j;
                dropSeparator = j < len;
            }
        }
        printf("%20s%.*s\n", "", static_cast<int>(cut), p);
        p += cut + (dropSeparator ? 1 : 0);
    }
}

void printEntry(twPrefDB *db, twPrefOption *o, twStrBuf *scratch)
{
    const char *help = twPref_HelpText(o);
    if (help[0] == '~' && help[1] == '~') return;
    char shown[200], type[120], column[400];
    if (shorthandUsable() && twStrIequ(shorthand, db->name))
        snprintf(shown, sizeof shown, "%s", o->name);
    else
        snprintf(shown, sizeof shown, "%s.%s", db->name, o->name);
    if (isBoolean(o->spec)) {
        snprintf(type, sizeof type, "(%s)", enumName(o->spec, 0));
    } else {
        const char *name = o->spec && o->spec->name ? o->spec->name : "";
        int len = static_cast<int>(strlen(name));
        if (len + 2 >= 5 && len >= 2 && strcmp(name + len - 2, "_t") == 0) len -= 2;
        snprintf(type, sizeof type, "<%.*s>", len, name);
    }
    snprintf(column, sizeof column, "%s%-25s %s", "-", shown, type);
    twStrBufClear(scratch);
    if (o->spec && o->spec->behaviour)
        o->spec->behaviour->format(&o->value, o->spec->params, keepLastPiece, scratch);
    const char *value = twStrBufString(scratch);
    if (strlen(value) > 70)
        printf("%-47s [%.25s...]\n", column, value);
    else
        printf("%-47s [%s]\n", column, value);
    printHelp(help);
}

struct UsageState {
    twPrefDB **dbs;
    twPrefOption **options;
    twStrBuf *scratch;
};

void releaseUsage(void *arg)
{
    auto *s = static_cast<UsageState *>(arg);
    twMemFree(s->dbs);
    twMemFree(s->options);
    twStrBufDestroy(s->scratch);
    s->dbs = nullptr;
    s->options = nullptr;
    s->scratch = nullptr;
}

/* ---- the preferences of the error and signal layers ---- */

struct ErrPref {
    const char *name;
    twTypeSpec *spec;
    long value;
    int help;
};

const ErrPref errPrefs[] = {
    {"action_status", &twErrActionTS, TW_ERR_ACTION_STATUSLINE, 1144},
    {"action_note", &twErrActionTS, TW_ERR_ACTION_ALERTBOX, 1145},
    {"action_warning", &twErrActionTS, TW_ERR_ACTION_ALERTBOX, 1146},
    {"action_error", &twErrActionTS, TW_ERR_ACTION_ALERTBOX, 1147},
    {"style_stderr", &twErrStyleTS, TW_ERR_VERBOSE, 1148},
    {"style_statusLine", &twErrStyleTS, TW_ERR_TERSE, 1149},
    {"style_alertBox", &twErrStyleTS, TW_ERR_TERSE, 1150},
    {"stdout", &twOnOffTS, 0, 1151},
    {"logging", &twOnOffTS, 1, 1152},
    {"keep_logfiles", &twUnsignedIntTS, 0, 1153},
};

long errPref(const char *name)
{
    return twPrefVal(twErrPrefV, name).l;
}

twPrefDB *exDatabase;

void releaseExDatabase(void *)
{
    twPrefDestroy(exDatabase);
    exDatabase = nullptr;
}

} // namespace

/* ---- command line and ini files ---- */

int twPrefParse(const char *iniName, int *argc, char **argv)
{
    if (argc && argv) deriveShorthand(*argc, argv);
    if (argc && argv && *argc > 1 && twPref_RegistryExists(0)) twCmdParse1(argc, argv, commandHandler, nullptr);
    int result = 1;
    if (iniName) result = loadIni(iniName);
    if (twPref_RegistryExists(0) && twPref_RegistryExists(1)) applyIniRegistry();
    return result;
}

int twPrefSetShorthand(const char *name)
{
    if (!name) {
        shorthandOff = true;
        return 1;
    }
    snprintf(shorthand, sizeof shorthand, "%s", name);
    shorthandSet = true;
    return 0;
}

int twCmdParse1(int *argc, char **argv, twCmdHandlerFn handler, void *arg)
{
    if (!argc || !argv || !handler) return 0;
    int taken = 0;
    int i = 1;
    while (i < *argc) {
        const char *a = argv[i];
        if (!a || (a[0] != '-' && a[0] != '+')) {
            ++i;
            continue;
        }
        const char *next = i + 1 < *argc ? argv[i + 1] : nullptr;
        int answer = handler(a, next, arg);
        int n;
        if (answer == 1)
            n = 1;
        else if (answer == 2)
            n = next ? 2 : 1;
        else if (answer == 3) {
            ++i;
            continue;
        } else
            break;
        memmove(argv + i, argv + i + n, sizeof(char *) * static_cast<size_t>(*argc - i - n));
        *argc -= n;
        argv[*argc] = nullptr;
        taken += n;
    }
    return taken;
}

int twPrefUsage(int argc, char **argv)
{
    if (argv) deriveShorthand(argc, argv);
    bool asked = false;
    for (int i = 1; argv && i < argc && !asked; ++i)
        asked = argv[i] && (strcmp(argv[i], "-usage") == 0 || strcmp(argv[i], "-?") == 0 ||
                            strcmp(argv[i], "-help") == 0);
    if (!asked) return 0;
    printf("Options for %s\n", argv[0] ? argv[0] : "");
    if (!twPref_RegistryExists(0)) return 1;
    UsageState s = {};
    twUnwind u;
    tw_UnwindPush(&u, releaseUsage, &s);
    int dbCount = 0;
    s.dbs = twPref_Databases(0, &dbCount);
    s.scratch = twStrBufCreate(80);
    for (int d = 0; d < dbCount; ++d) {
        int count = 0;
        s.options = twPref_Options(s.dbs[d], &count);
        for (int i = 0; i < count; ++i) printEntry(s.dbs[d], s.options[i], s.scratch);
        twMemFree(s.options);
        s.options = nullptr;
    }
    tw_UnwindPop(&u);
    releaseUsage(&s);
    fflush(stdout);
    return 1;
}

int twCmdParse(int *argc, char **argv, const char *const *valueNames, int valueCount,
               const char **values, const char *const *flagNames, int flagCount, int *flags)
{
    if (!argc || !argv || *argc < 2) return 0;
    int n = *argc;
    // Which arguments were taken; the vector is reordered once at the end.
    auto *taken = static_cast<char *>(twMemCalloc(static_cast<uint32_t>(n), 1, "twCmdParse"));
    int count = 0;
    for (int i = 1; i < n; ++i) {
        const char *a = argv[i];
        if (!a || a[0] != '-') continue;
        int index = valueNames && valueCount > 0 ? twStrIndex(a + 1, valueNames, valueCount) : -1;
        if (index >= 0) {
            if (i + 1 >= n) break;
            if (values) values[index] = argv[i + 1];
            taken[i] = taken[i + 1] = 1;
            count += 2;
            ++i;
            continue;
        }
        index = flagNames && flagCount > 0 ? twStrIndex(a + 1, flagNames, flagCount) : -1;
        if (index < 0) break;
        if (flags) flags[index] = 1;
        taken[i] = 1;
        ++count;
    }
    if (count > 0) {
        auto **order = static_cast<char **>(twMemMalloc(sizeof(char *) * static_cast<uint32_t>(n), "twCmdParse"));
        int k = 1;
        for (int i = 1; i < n; ++i)
            if (!taken[i]) order[k++] = argv[i];
        for (int i = 1; i < n; ++i)
            if (taken[i]) order[k++] = argv[i];
        memcpy(argv + 1, order + 1, sizeof(char *) * static_cast<size_t>(n - 1));
        twMemFree(order);
        *argc = n - count;
    }
    twMemFree(taken);
    return count;
}

char *twCmdFlag(int *argc, char **argv, const char *name, int withValue)
{
    if (!argc || !argv || !name) return nullptr;
    int last = withValue ? *argc - 1 : *argc;
    for (int i = 0; i < last; ++i) {
        if (!argv[i] || !twStrIequ(argv[i], name)) continue;
        char *result = withValue ? argv[i + 1] : argv[i];
        int n = withValue ? 2 : 1;
        memmove(argv + i, argv + i + n, sizeof(char *) * static_cast<size_t>(*argc - i - n));
        *argc -= n;
        argv[*argc] = nullptr;
        return result;
    }
    return nullptr;
}

/* ---- the preferences of the error and signal layers ---- */

void twPref_ErrInit(int *argc, char **argv)
{
    if (twErrPrefV) return;
    twPrefDB *db = twPrefCreate("err");
    twErrPrefV = db;
    twOnExitAdd(twPref_DestroyAtExit, db);
    twOnExitSetOrder(twPref_DestroyAtExit, 85);
    for (const ErrPref &p : errPrefs) {
        twTypedata d = twTypeLongToTypedata(p.value);
        twPrefAdd2(db, p.name, p.spec, catalogue(), p.help, &d);
    }
    twPrefParse(nullptr, argc, argv);
}

void twPref_ErrGetPrefs(void)
{
    if (!twErrPrefV) return;
    twErrActionV[TW_SEV_STATUS] = static_cast<int>(errPref("action_status"));
    twErrActionV[TW_SEV_NOTE] = static_cast<int>(errPref("action_note"));
    twErrActionV[TW_SEV_WARNING] = static_cast<int>(errPref("action_warning"));
    twErrActionV[TW_SEV_ERROR] = static_cast<int>(errPref("action_error"));
    twErrStyleV[0] = static_cast<int>(errPref("style_stderr"));
    twErrStyleV[1] = static_cast<int>(errPref("style_statusLine"));
    twErrStyleV[2] = static_cast<int>(errPref("style_alertBox"));
    twErrFileV = errPref("stdout") ? stdout : stderr;
    twErrLogKeepFiles(static_cast<int>(errPref("keep_logfiles")));
    twErrLogEnable(static_cast<int>(errPref("logging")));
}

int twPref_ErrKeepLogs(void)
{
    if (!twErrPrefV || !twPref_FindOption(twErrPrefV, "keep_logfiles")) return 1;
    return static_cast<int>(errPref("keep_logfiles"));
}

int twPref_ExCatchSignals(int *argc, char **argv)
{
    exDatabase = twPrefCreate("ex");
    twTypedata yes = twTypeLongToTypedata(1);
    twPrefReplace2(exDatabase, "catch_signals", &twYesNoTS, catalogue(), 1154, &yes);
    twUnwind u;
    tw_UnwindPush(&u, releaseExDatabase, nullptr);
    twPrefParse("lumenpane", argc, argv);
    int catchThem = twPrefVal(exDatabase, "catch_signals").l ? 1 : 0;
    tw_UnwindPop(&u);
    releaseExDatabase(nullptr);
    return catchThem;
}
