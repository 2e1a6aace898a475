/* errlog.cpp - error log files.
 *
 * The log opens lazily: the first error to be logged makes the name, prunes
 * the logs of earlier runs when some are kept, and tries the file. That
 * first try of a process removes the file again when it is empty, so that a
 * run without errors leaves nothing behind; the first error written makes
 * it anew. A log that already holds lines stays: with one log per program
 * (keep 0) every run appends to the same file, and removing it would lose
 * the lines of the runs before.
 *
 * Nothing here raises. The log runs inside every report; its own problems
 * become warnings (number 1120, never logged themselves) and cost the log
 * line, never the report.
 */
#include "twlib/err/errlog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tslib/fileops.h"
#include "tslib/loop.h"
#include "tslib/path.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

namespace {

constexpr const char *kWarningApp = "twErrLog";
constexpr const char *kUnknown = "unknown";
constexpr const char *kExtension = "err";
// When nothing said how many older logs to keep.
constexpr int kDefaultKeep = 1;

// Process-wide log state.
bool usable = true;   // cleared when the file could not be opened
bool enabled = true;  // logging wanted
bool opened = false;  // the name is made and the file was tried
bool fresh = true;    // the next successful open is the first of the process
char *fileName;       // TS_PATH_SIZE bytes, "errorLogFilename"; null until the first open
char *program;        // pool copy of the program's path; null reads as "unknown"
FILE *stream;         // the open log, or null
int keep = kDefaultKeep;
bool keepSet;         // twErrLogKeepFiles was called: the reader is not asked
bool force = true;    // the next twErrLogEnable acts whatever the setting
bool lineOpen;        // the file's last line lacks its newline (a cut write)
bool releaseAdded;    // the exit handler for the name and the program is registered
twErrLogKeepFn keepReader;

void releaseAtExit(void *)
{
    twMemFree(fileName);
    fileName = nullptr;
    twStrFree(program);
    program = nullptr;
    // The name is gone: a log wanted after this makes it again.
    opened = false;
    if (stream) fclose(stream);
    stream = nullptr;
    releaseAdded = false;
}

void addRelease()
{
    if (releaseAdded) return;
    twOnExitAdd(releaseAtExit, nullptr);
    releaseAdded = true;
}

const char *programPath()
{
    return program ? program : kUnknown;
}

int keepCount()
{
    if (keepSet) return keep;
    return keepReader ? keepReader() : kDefaultKeep;
}

// Puts out a warning about the log. The warning goes the normal report
// road and so reaches the log again, which skips it by its number. A raise
// from an output function while it shows the warning is dropped: the log
// is called from within a report, and a raise would cost that report.
void warn(const char *format, ...) TW_PRINTF_LIKE(1, 2);
void warn(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    char *text = twSprintfAllocVa(format, ap);
    va_end(ap);
    twErr *warning = twErrCreate(nullptr, kWarningApp, TW_ERRLOG_WARNING, TW_SEV_WARNING, text);
    twStrFree(text);
    TW_TRY(TW_EX_ALL) {
        twErrOut(nullptr, warning);
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
}

// Opens the file for appending. Only a regular file will do: a FIFO would
// block the report until something reads it, and a directory or device is
// no log. Sets 'size' to the file's size at the open and 'lineOpen' when
// its last byte is not a newline. Null when it cannot be opened.
FILE *openForAppend(const char *name, off_t *size)
{
    if (!name) return nullptr;
    const int flags = O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC;
    bool readable = true;
    int fd = open(name, O_RDWR | flags, 0666);
    if (fd < 0 && errno == EACCES) {
        readable = false;
        fd = open(name, O_WRONLY | flags, 0666);
    }
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    int fl = fcntl(fd, F_GETFL);
    if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    FILE *f = fdopen(fd, "a");
    if (!f) {
        close(fd);
        return nullptr;
    }
    char last = '\n';
    if (readable && st.st_size > 0 && pread(fd, &last, 1, st.st_size - 1) != 1) last = '\n';
    lineOpen = last != '\n';
    *size = st.st_size;
    return f;
}

/* ---- pruning ---- */

struct FoundFile {
    char *path;  // pool string
    long mtime;  // local-time seconds
};

struct FoundList {
    FoundFile *files;   // "errorLogFilelist"
    uint32_t count;
    uint32_t room;
    const char *ownPrefix;  // when set: only <prefix><digits><ownSuffix> count
    const char *ownSuffix;
};

constexpr uint32_t kFirstRoom = 20;
constexpr uint32_t kMinGrowth = 10;

// A name the log itself would have made: the prefix, a process number, the
// suffix.
bool isOwnLog(const char *path, const char *prefix, const char *suffix)
{
    const char *slash = strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    size_t n = strlen(name), p = strlen(prefix), s = strlen(suffix);
    if (n <= p + s || strncmp(name, prefix, p) != 0 || strcmp(name + n - s, suffix) != 0) return false;
    for (const char *c = name + p; c < name + n - s; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

int collect(const char *path, void *arg)
{
    auto *list = static_cast<FoundList *>(arg);
    if (list->ownPrefix && !isOwnLog(path, list->ownPrefix, list->ownSuffix)) return 1;
    if (list->count == list->room) {
        // Grown by half rather than by a fixed step, so that a directory of
        // many logs is not copied over and over.
        uint32_t room = list->room + std::max(kMinGrowth, list->room / 2);
        list->files = static_cast<FoundFile *>(
            twMemRealloc(list->files, room * sizeof(FoundFile), "errorLogFilelist(resized)"));
        list->room = room;
    }
    list->files[list->count++] = FoundFile{twStrCpy(path), tsFtime(path)};
    return 1;
}

int saveNewest(const char *pattern, int count, const char *ownPrefix, const char *ownSuffix)
{
    if (!pattern) return 0;
    FoundList list{static_cast<FoundFile *>(twMemMalloc(kFirstRoom * sizeof(FoundFile), "errorLogFilelist")),
                   0, kFirstRoom, ownPrefix, ownSuffix};
    tsLoop2(pattern, TS_KIND_FILE, collect, &list);
    std::sort(list.files, list.files + list.count, [](const FoundFile &a, const FoundFile &b) {
        if (a.mtime != b.mtime) return a.mtime > b.mtime;
        return strcmp(a.path, b.path) > 0;
    });
    uint32_t kept = count > 0 ? static_cast<uint32_t>(count) : 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        if (i >= kept) tsDelete(list.files[i].path, TS_KIND_FILE);
        twStrFree(list.files[i].path);
    }
    twMemFree(list.files);
    return static_cast<int>(list.count);
}

/* ---- making the name ---- */

// With older logs kept: <name>-<pid>.err or <name>.<ext>-<pid>.err in the
// log directory, after pruning the older ones. False when the name cannot
// be made.
bool makeNumberedName(const char *dir, const char *name, const char *ext, int count)
{
    char base[3 * TS_PATH_SIZE];
    long pid = static_cast<long>(getpid());
    int cut = ext[0] ? twSprintf(base, sizeof base, "%s.%s-%ld", name, ext, pid)
                     : twSprintf(base, sizeof base, "%s-%ld", name, pid);
    if (cut != 0 || tsMerge(fileName, nullptr, dir, base, kExtension) != TS_OK) return false;

    char pattern[TS_PATH_SIZE];
    cut = ext[0] ? twSprintf(base, sizeof base, "%s.%s-*", name, ext)
                 : twSprintf(base, sizeof base, "%s-*", name);
    if (cut == 0 && tsMerge(pattern, nullptr, dir, base, kExtension) == TS_OK) {
        // Only the logs this naming makes go: the wildcard would also take
        // those of a program whose name merely begins the same way
        // (conv-x-12.err for conv).
        char *star = strrchr(pattern, '*');
        const char *slash = strrchr(pattern, '/');
        char prefix[TS_PATH_SIZE];
        const char *start = slash ? slash + 1 : pattern;
        size_t n = static_cast<size_t>(star - start);
        memcpy(prefix, start, n);
        prefix[n] = '\0';
        saveNewest(pattern, count, prefix, star + 1);
    }
    return true;
}

// Makes the name into fileName, falling back as far as "unknown.err".
void makeName()
{
    char dirBuf[TS_TRNLOG_SIZE];
    const char *dir = tsTrnlog("TW_LOGDIR", dirBuf) == TS_OK ? dirBuf : nullptr;
    const char *path = programPath();
    char name[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    // A path without a file part ("/usr/bin/") names no program.
    bool split = tsParse(path, nullptr, nullptr, name, ext) == TS_OK && name[0];
    int count = keepCount();

    if (count > 0 && split && makeNumberedName(dir, name, ext, count)) return;
    if (split && tsMerge(fileName, nullptr, dir, name, kExtension) == TS_OK) return;
    if (tsMerge(fileName, nullptr, dir, kUnknown, kExtension) != TS_OK)
        snprintf(fileName, TS_PATH_SIZE, "%s.%s", kUnknown, kExtension);
    warn("Error creating name for error log file, trying `%s' instead (I was given TW_LOGDIR=`%s' "
         "and program=`%s').",
         fileName, dir ? dir : "", path);
}

} // namespace

void twErrLogSetArgv0(const char *argv0)
{
    if (!argv0) return;
    char *copy = twStrCpy(argv0);
    twStrFree(program);
    program = copy;
    addRelease();
}

void twErrLogKeepFiles(int count)
{
    keep = count;
    keepSet = true;
}

twErrLogKeepFn twErrLog_SetKeepReader(twErrLogKeepFn reader)
{
    twErrLogKeepFn previous = keepReader;
    keepReader = reader;
    return previous;
}

void twErrLogEnable(int flag)
{
    bool want = flag != 0;
    if (want == enabled && !force) return;
    force = false;
    enabled = want;
    if (want)
        twErrLogOpenFile();
    else
        twErrLogCloseFile();
}

int twErrLogIsEnabled(void)
{
    return enabled ? 1 : 0;
}

void twErrLogCloseFile(void)
{
    opened = false;
    if (stream) fclose(stream);
    stream = nullptr;
}

void twErrLogOpenFile(void)
{
    if (!((enabled && !opened) || (opened && !usable))) return;
    opened = true;
    if (stream) fclose(stream);
    stream = nullptr;
    if (!fileName) {
        fileName = static_cast<char *>(twMemMalloc(TS_PATH_SIZE, "errorLogFilename"));
        fileName[0] = '\0';
        addRelease();
    }
    makeName();
    // Absolute before the file is tried, so that the file tried and the
    // file written later are the same whatever the working directory does
    // meanwhile. A name that cannot be made absolute stays as it is.
    tsAbsPath(fileName);

    off_t size = 0;
    FILE *f = openForAppend(fileName, &size);
    if (!f) {
        usable = false;
        warn("Can't open error log file `%s', logging disabled.", fileName);
        return;
    }
    usable = true;
    if (!fresh) {
        stream = f;
        return;
    }
    fresh = false;
    fclose(f);
    // Only an empty file goes; the lines of earlier runs stay.
    if (size == 0) tsDelete(fileName, TS_KIND_FILE);
}

void twErrLog(twErr *error)
{
    if (!error || error->severity == TW_SEV_STATUS) return;
    if (enabled && !opened) twErrLogOpenFile();
    if (!usable || !enabled || !opened || error->number == TW_ERRLOG_WARNING) return;
    if (!stream) {
        off_t size = 0;
        stream = openForAppend(fileName, &size);
        if (!stream) {
            warn("Can't re-open error log file `%s'.", fileName);
            return;
        }
    }
    // A line an earlier write left unfinished is ended first, so that it
    // does not swallow the start of this one.
    bool ok = !lineOpen || fputc('\n', stream) != EOF;
    if (ok) lineOpen = false;
    ok = ok && fputs(twErrString(error, TW_ERR_CNTX_LOGFILE), stream) != EOF;
    ok = ok && fputc('\n', stream) != EOF;
    ok = fflush(stream) == 0 && ok;
    if (!ok) {
        // Opened again for the next error, which then tries anew.
        fclose(stream);
        stream = nullptr;
        warn("Can't write error log file `%s'.", fileName);
    }
}

int twErrSaveOnlyNewestFiles(const char *pattern, int count)
{
    return saveNewest(pattern, count, nullptr, nullptr);
}
