/* search.cpp - file search over working directories.
 *
 * Three pieces of process-wide state live here: the working-directory list
 * (built from WDIR at first use, rebuilt after a reset), the executable
 * directory, and a cache of directory listings shared by the directory
 * loops. Every path handled is at most 255 characters: anything that would
 * not fit a path buffer is skipped, never cut short.
 *
 * A directory loop may call back into this module (or reset it) from its
 * callback, so loops hold a reference on the listing they walk and notice
 * when the working-directory list was rebuilt under them.
 */
#include "tslib/search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "tslib/fileops.h"
#include "tslib/path.h"
#include "twlib/containers/sym.h"
#include "twlib/core/exit.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"
#include "twlib/text/strbuf.h"
#include "twlib/text/strtok.h"

const char *twCompatibleVersionV = "532";
const char *twCompatibleExeTagV = "$Tarnwerks compatible version: 532$";

namespace {

constexpr const char *kSeparators = " \t:";
constexpr size_t kMaxPath = TS_PATH_SIZE - 1;
constexpr size_t kVersionSize = 80;

// ---------------------------------------------------------------------------
// Small path helpers

// Copies src when it fits a path buffer.
bool copyPath(char *dst, const char *src)
{
    size_t len = strlen(src);
    if (len > kMaxPath) return false;
    memcpy(dst, src, len + 1);
    return true;
}

// dir, a "/" when dir is non-empty and lacks one, then name.
bool joinPath(char *out, const char *dir, const char *name)
{
    size_t dlen = strlen(dir), nlen = strlen(name);
    bool slash = dlen && dir[dlen - 1] != '/';
    if (dlen + slash + nlen > kMaxPath) return false;
    memcpy(out, dir, dlen);
    if (slash) out[dlen] = '/';
    memcpy(out + dlen + slash, name, nlen + 1);
    return true;
}

// The pieces of a name as tsParse splits it.
struct NameParts {
    char node[TS_PATH_SIZE];
    char dir[TS_PATH_SIZE];
    char base[TS_PATH_SIZE];
    char ext[TS_PATH_SIZE];
};

// Extends 'dir' by 'sub', merges node, base and ext, and when a file of the
// kind exists there stores its absolute path in 'out'. Candidates that do
// not fit, do not exist or cannot be made absolute are passed over.
bool tryCandidate(const char *node, const char *dir, const char *sub, const char *base,
                  const char *ext, int kind, char *out)
{
    char extended[TS_PATH_SIZE], candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (!copyPath(extended, dir)) return false;
    if (sub && *sub && tsDnpath(extended, sub) != 0) return false;
    if (tsMerge(candidate, node, extended, base, ext) != 0) return false;
    if (tsExists2(candidate, kind, found) != 0) return false;
    strcpy(out, found);
    return true;
}

// A name that cannot be a path: the buffer gets as much of it as fits, for
// the caller's message. Returns 7.
int refuseName(const char *name, char *path)
{
    if (path) {
        size_t len = name ? strnlen(name, kMaxPath) : 0;
        if (len) memcpy(path, name, len);
        path[len] = '\0';
    }
    return 7;
}

// ---------------------------------------------------------------------------
// Working-directory list

struct WdirElement {
    WdirElement *next;
    char *path;       // at most 255 characters
    int32_t isCompat; // 1: a version sub-directory; 0: named in WDIR
};

WdirElement *wdirList;
WdirElement *wdirTail;
bool dirty = true;               // rebuild before the next use
char compatVersion[kVersionSize];
bool versionFixed;               // set once tsWdirSetCompatibleVersion ran
bool listHandlerAdded;           // the exit handler for the list is registered
unsigned listGeneration;         // changes whenever the list is cleared

void clearList(bool removeHandler);

void releaseListAtExit(void *)
{
    // The exit run owns the handler table while it calls us: leave it alone.
    // When the process goes on afterwards, the next use reads WDIR again.
    clearList(false);
    dirty = true;
}

void clearList(bool removeHandler)
{
    for (WdirElement *e = wdirList, *next; e; e = next) {
        next = e->next;
        twMemFree(e->path);
        twMemFree(e);
    }
    wdirList = wdirTail = nullptr;
    listGeneration++;
    if (listHandlerAdded) {
        if (removeHandler) twOnExitRemove(releaseListAtExit, nullptr);
        listHandlerAdded = false;
    }
}

void addElement(const char *path, int32_t isCompat)
{
    size_t len = strlen(path);
    auto *e = static_cast<WdirElement *>(twMemMalloc(sizeof(WdirElement), "Wdir Element"));
    e->next = nullptr;
    e->path = static_cast<char *>(twMemMalloc(static_cast<uint32_t>(len + 1), "Wdir Element"));
    memcpy(e->path, path, len + 1);
    e->isCompat = isCompat;
    if (!wdirList && !listHandlerAdded) {
        twOnExitAdd(releaseListAtExit, nullptr);
        listHandlerAdded = true;
    }
    if (wdirTail)
        wdirTail->next = e;
    else
        wdirList = e;
    wdirTail = e;
}

void copyVersion(const char *version)
{
    size_t len = version ? strnlen(version, kVersionSize - 1) : 0;
    if (len) memcpy(compatVersion, version, len);
    compatVersion[len] = '\0';
}

void rebuildList()
{
    clearList(true);
    dirty = false;
    if (!versionFixed) copyVersion(twCompatibleVersionV);
    char value[TS_TRNLOG_SIZE];
    if (tsTrnlog("WDIR", value) != 0) return;
    // The token buffer is as large as the value, so a token is never cut:
    // a name too long for a path buffer is skipped as a whole.
    char name[TS_TRNLOG_SIZE];
    for (const char *p = value; (p = twStrTok(p, name, sizeof name, kSeparators)) != nullptr;) {
        if (strlen(name) > kMaxPath) continue;
        if (compatVersion[0]) {
            char versionDir[TS_PATH_SIZE];
            strcpy(versionDir, name);
            if (tsDnpath(versionDir, compatVersion) == 0) addElement(versionDir, 1);
        }
        addElement(name, 0);
    }
}

void ensureList()
{
    if (dirty) rebuildList();
}

// Tries every element of the list in order, each one's directory extended
// by the name's own directory part.
bool searchWdirs(const NameParts &n, int kind, char *path)
{
    ensureList();
    for (WdirElement *e = wdirList; e; e = e->next)
        if (tryCandidate(n.node, e->path, n.dir, n.base, n.ext, kind, path)) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Executable directory

char *exeDir; // pool string ending in "/", or null
bool exeDirHandlerAdded;

void releaseExeDir()
{
    if (exeDir) twStrFree(exeDir);
    exeDir = nullptr;
}

void releaseExeDirAtExit(void *)
{
    releaseExeDir();
    exeDirHandlerAdded = false; // a later tsSetexedir registers again
}

int srchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path)
{
    if (!exeDir) return 4;
    char extended[TS_PATH_SIZE], candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (!copyPath(extended, exeDir)) return 4;
    if (dir && *dir && tsDnpath(extended, dir) != 0) return 4;
    if (tsMerge(candidate, nullptr, extended, base ? base : "", ext ? ext : "") != 0) return 4;
    int r = tsExists2(candidate, kind, found);
    if (r == 0) strcpy(path, found);
    return r;
}

// ---------------------------------------------------------------------------
// Directory listing cache
//
// One listing per directory (keyed by its absolute path ending in "/"),
// sorted by name so that loops walk it in order and a re-read can find the
// old status of a name by binary search. The table holds one reference;
// every loop holds another while it runs, so a listing replaced or purged
// under a running loop lives until that loop lets go.

struct DirEntry {
    char *name;   // pool string
    long mtime;   // local-time seconds
    long size;
    int32_t kind; // 2 directory, 3 other, -1 status unreadable
};

// What the directory looked like when it was read; a listing is read again
// when this changes.
struct DirStamp {
    dev_t dev;
    ino_t ino;
    struct timespec mtime;
    struct timespec ctime;
};

struct DirListing {
    int32_t refs;
    int32_t count;
    DirEntry *entries;
    DirStamp stamp;
    // The directory changed so shortly before it was read that a later
    // change might leave the same time stamp: read it again next time.
    bool racy;
};

constexpr uint32_t kFirstListingRoom = 100;
constexpr time_t kStampGranularity = 2; // seconds; coarse file systems included

twSymTable *dirCache;
bool purgeAdded;
int cacheBusy; // non-zero while the table is being changed

void releaseListing(DirListing *l)
{
    if (--l->refs > 0) return;
    for (int32_t i = 0; i < l->count; i++) twStrFree(l->entries[i].name);
    if (l->entries) twMemFree(l->entries);
    twMemFlFree(l, sizeof(DirListing));
}

void releaseListingWord(void *word)
{
    releaseListing(static_cast<DirListing *>(word));
}

void releaseCache()
{
    if (!dirCache) return;
    twSymDestroy(dirCache, releaseListingWord);
    dirCache = nullptr;
}

// The exit run also empties the purge-routine registry (when handlers are
// recorded at all), so a cache made after twOnExitCall registers again.
void forgetCacheAtExit(void *)
{
    releaseCache();
    purgeAdded = false;
}

int purgeDirCache(void)
{
    // Memory may run out while the table itself is being changed; the
    // listings are given back on a later purge instead.
    if (!cacheBusy) releaseCache();
    return 1;
}

DirStamp stampOf(const struct stat &st)
{
    return DirStamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

bool sameTime(const struct timespec &a, const struct timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameStamp(const DirStamp &a, const DirStamp &b)
{
    return a.dev == b.dev && a.ino == b.ino && sameTime(a.mtime, b.mtime) &&
           sameTime(a.ctime, b.ctime);
}

bool entryLess(const DirEntry &a, const DirEntry &b)
{
    return strcmp(a.name, b.name) < 0;
}

const DirEntry *findEntry(const DirListing *l, const char *name)
{
    if (!l) return nullptr;
    const DirEntry *begin = l->entries, *end = l->entries + l->count;
    const DirEntry *it = std::lower_bound(begin, end, name, [](const DirEntry &e, const char *n) {
        return strcmp(e.name, n) < 0;
    });
    return (it != end && strcmp(it->name, name) == 0) ? it : nullptr;
}

// Reads the directory 'dir' (absolute, ending in "/"); names that were in
// 'old' keep their status from it. Null when the directory cannot be read.
DirListing *readListing(const char *dir, const DirListing *old, const struct stat &st)
{
    DIR *d = opendir(dir);
    if (!d) return nullptr;
    auto *l = static_cast<DirListing *>(twMemFlAlloc(sizeof(DirListing), "tsDirCache"));
    l->refs = 0;
    l->count = 0;
    l->stamp = stampOf(st);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    l->racy = now.tv_sec - st.st_mtim.tv_sec < kStampGranularity ||
              now.tv_sec - st.st_ctim.tv_sec < kStampGranularity;
    uint32_t room = kFirstListingRoom;
    l->entries = static_cast<DirEntry *>(twMemMalloc(room * sizeof(DirEntry), "tsDirCache"));
    while (struct dirent *de = readdir(d)) {
        if (strcmp(de->d_name, ".") == 0 || strcmp(de->d_name, "..") == 0) continue;
        if (static_cast<uint32_t>(l->count) == room) {
            room *= 2;
            l->entries = static_cast<DirEntry *>(
                twMemRealloc(l->entries, room * sizeof(DirEntry), "tsDirCache"));
        }
        DirEntry &e = l->entries[l->count++];
        e.name = twStrCpy(de->d_name);
        e.mtime = 0;
        e.size = 0;
        e.kind = -1;
    }
    closedir(d);
    std::sort(l->entries, l->entries + l->count, entryLess);
    for (int32_t i = 0; i < l->count; i++) {
        DirEntry &e = l->entries[i];
        if (const DirEntry *known = findEntry(old, e.name)) {
            e.mtime = known->mtime;
            e.size = known->size;
            e.kind = known->kind;
            continue;
        }
        char full[TS_PATH_SIZE];
        int kind = 0;
        if (joinPath(full, dir, e.name) && tsInfo(full, &e.mtime, &e.size, &kind) == 0)
            e.kind = kind;
    }
    return l;
}

// The current listing of 'dir' (absolute, ending in "/") with a reference
// held for the caller, or null when the directory cannot be read.
DirListing *acquireListing(const char *dir)
{
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    cacheBusy++;
    if (!dirCache) {
        dirCache = twSymCreate(101, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
        twSymDynamic(dirCache, 2.0, 2.0);
        if (!purgeAdded) {
            twAddPurgeRoutine(purgeDirCache);
            twOnExitAdd(forgetCacheAtExit, nullptr);
            purgeAdded = true;
        }
    }
    auto *cur = static_cast<DirListing *>(twSymFetch(dirCache, dir));
    DirListing *result = nullptr;
    if (cur && !cur->racy && sameStamp(cur->stamp, stampOf(st))) {
        result = cur;
    } else if (DirListing *fresh = readListing(dir, cur, st)) {
        fresh->refs = 1; // the table's
        if (auto *prev = static_cast<DirListing *>(twSymStore(dirCache, dir, fresh)))
            releaseListing(prev);
        result = fresh;
    } else if (cur) {
        twSymRemove(dirCache, dir);
        releaseListing(cur);
    }
    if (result) result->refs++;
    cacheBusy--;
    return result;
}

// The absolute directory part of 'pattern' (ending in "/") and its file
// part; the error of making it absolute or splitting it otherwise.
int splitPattern(const char *pattern, char *dir, char *file)
{
    char abs[TS_PATH_SIZE], node[TS_PATH_SIZE], dirPart[TS_PATH_SIZE];
    int r = tsAbsPath2(pattern, abs);
    if (r != 0) return r;
    r = tsParse2(abs, node, dirPart, file);
    if (r != 0) return r;
    return joinPath(dir, node, dirPart) ? 0 : 2;
}

bool kindMatches(int wanted, int kind)
{
    return kind >= 0 && (wanted == 4 || wanted == kind);
}

bool countOnly(tsLoopFn fn)
{
    // The do-nothing procedure marks a loop that only counts; it is compared,
    // never called (its type differs from the callback's).
    return !fn || reinterpret_cast<void (*)()>(fn) == reinterpret_cast<void (*)()>(&twDummyProc);
}

// ---------------------------------------------------------------------------
// Stepping iterators

struct WdirFile {
    WdirFile *next;
    char *path; // pool string
};

twMemFl *cellList;
WdirFile *queueHead;
WdirFile *queueTail;
twStrBuf *stepBuffer;

void emptyQueue()
{
    for (WdirFile *c = queueHead, *next; c; c = next) {
        next = c->next;
        twStrFree(c->path);
        twMemFlFree2(cellList, c);
    }
    queueHead = queueTail = nullptr;
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
    auto *c = static_cast<WdirFile *>(twMemFlAlloc2(cellList));
    c->next = nullptr;
    c->path = twStrCpy(path);
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
    ensureList();
    if (!cellList) {
        cellList = twMemFlCreate(sizeof(WdirFile), "wdirFileT");
        twOnExitAdd(releaseQueueAtExit, nullptr);
    }
    unsigned generation = listGeneration;
    for (WdirElement *e = wdirList; e && generation == listGeneration; e = e->next) {
        char pattern[TS_PATH_SIZE];
        if (!e->isCompat && joinPath(pattern, e->path, "*")) tsLoop(pattern, kind, queuePath);
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

} // namespace

// ---------------------------------------------------------------------------
// Search

int tsGetini(const char *name, char *path)
{
    return tsSrchdirs(name, TS_KIND_FILE, path);
}

int tsSrchdirs(const char *name, int kind, char *path)
{
    ensureList();
    if (!name || !*name || !path) return refuseName(name, path);
    NameParts n;
    if (tsParse(name, n.node, n.dir, n.base, n.ext) != 0) return refuseName(name, path);

    if (compatVersion[0] && tryCandidate(n.node, n.dir, compatVersion, n.base, n.ext, kind, path))
        return 0;
    char found[TS_PATH_SIZE];
    if (tsExists2(name, kind, found) == 0) {
        strcpy(path, found);
        return 0;
    }
    strcpy(path, name); // fits: tsParse refuses 256 characters or more

    // An absolute name is looked for only under its own path.
    if (n.dir[0] == '/' || n.node[0]) return 4;

    const char *origin = tsGetorigin();
    if (origin && strlen(origin) <= kMaxPath &&
        tryCandidate("", origin, n.dir, n.base, n.ext, kind, path))
        return 0;
    if (searchWdirs(n, kind, path)) return 0;
    return srchExeDir(n.dir, n.base, n.ext, kind, path);
}

int tsSrchwdirs(const char *name, int kind, char *path)
{
    if (!name || !*name || !path) return refuseName(name, path);
    NameParts n;
    if (tsParse(name, n.node, n.dir, n.base, n.ext) != 0) return refuseName(name, path);
    return searchWdirs(n, kind, path) ? 0 : 4;
}

int tsSrchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path)
{
    if (!path) return 7;
    return srchExeDir(dir, base, ext, kind, path);
}

int tsSetexedir(const char *argv0)
{
    releaseExeDir();
    if (!argv0) return 0;
    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (tsParse(argv0, node, dir, nullptr, nullptr) != 0) return 0;
    if (dir[0] || node[0]) {
        if (tsExists2(argv0, TS_KIND_FILE, found) != 0) return 0;
    } else if (tsFindExeInPath(argv0, found) != 0) {
        return 0;
    }
    char merged[TS_PATH_SIZE];
    if (tsParse(found, node, dir, nullptr, nullptr) != 0) return 0;
    if (tsMerge(merged, node, dir, nullptr, nullptr) != 0) return 0;
    size_t len = strlen(merged);
    if (!len || merged[len - 1] != '/') {
        if (len + 1 > kMaxPath) return 0;
        merged[len] = '/';
        merged[len + 1] = '\0';
    }
    exeDir = twStrCpy(merged);
    if (!exeDirHandlerAdded) {
        twOnExitAdd(releaseExeDirAtExit, nullptr);
        exeDirHandlerAdded = true;
    }
    return 1;
}

const char *tsExeDir(void)
{
    return exeDir;
}

int tsFindExeInPath(const char *name, char *path)
{
    char value[TS_TRNLOG_SIZE];
    if (tsTrnlog("PATH", value) != 0) return 7;
    if (!name || !path) return 7;
    char dir[TS_TRNLOG_SIZE];
    for (const char *p = value; (p = twStrTok(p, dir, sizeof dir, kSeparators)) != nullptr;) {
        char candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
        if (tsMerge(candidate, nullptr, dir, name, nullptr) != 0) return 1;
        if (tsExists2(candidate, TS_KIND_FILE, found) == 0) {
            strcpy(path, found);
            return 0;
        }
    }
    return 4;
}

// ---------------------------------------------------------------------------
// Working-directory loops

int tsLoopwdirs(tsPathFn fn)
{
    ensureList();
    if (!fn) return 1;
    unsigned generation = listGeneration;
    for (WdirElement *e = wdirList; e && generation == listGeneration; e = e->next)
        if (!e->isCompat && fn(e->path) == 0) return 0;
    return 1;
}

int tsLoopWdirs2(tsPathArgFn fn, void *arg)
{
    ensureList();
    if (!fn) return 1;
    unsigned generation = listGeneration;
    for (WdirElement *e = wdirList; e && generation == listGeneration; e = e->next)
        if (!e->isCompat && fn(arg, e->path) == 0) return 0;
    return 1;
}

int tsWdirLoopSrchdirs2(tsPathArgFn fn, void *arg)
{
    ensureList();
    if (!fn) return 1;
    unsigned generation = listGeneration;
    if (compatVersion[0]) {
        char versionDir[kVersionSize + 1];
        strcpy(versionDir, compatVersion);
        strcat(versionDir, "/");
        if (fn(arg, versionDir) == 0) return 0;
    }
    if (fn(arg, ".") == 0) return 0;
    for (WdirElement *e = wdirList; e && generation == listGeneration; e = e->next)
        if (fn(arg, e->path) == 0) return 0;
    return 1;
}

void tsWdirSetCompatibleVersion(const char *version)
{
    clearList(true);
    dirty = true;
    copyVersion(version);
    versionFixed = true;
}

void tsResetWdirCache(void)
{
    clearList(true);
    dirty = true;
    if (!cacheBusy) releaseCache();
}

// ---------------------------------------------------------------------------
// Directory loops

int tsLoop2(const char *pattern, int kind, tsLoopFn fn, void *arg)
{
    char dir[TS_PATH_SIZE], file[TS_PATH_SIZE];
    int r = splitPattern(pattern, dir, file);
    if (r != 0) return r;
    if (!file[0]) {
        if (kind == TS_KIND_FILE) return 2;
        kind = TS_KIND_DIR;
    }
    DirListing *l = acquireListing(dir);
    if (!l) return 4;
    bool quiet = countOnly(fn);
    int counted = 0;
    for (int32_t i = 0; i < l->count; i++) {
        const DirEntry &e = l->entries[i];
        char path[TS_PATH_SIZE];
        if (!kindMatches(kind, e.kind) || !twStrMat(file, e.name)) continue;
        if (!joinPath(path, dir, e.name)) continue;
        counted++;
        if (!quiet && fn(path, arg) == 0) break;
    }
    releaseListing(l);
    return counted ? 0 : 4;
}

int tsLoop(const char *pattern, int kind, tsLoopFn fn)
{
    return tsLoop2(pattern, kind, fn, nullptr);
}

int tsLoopRegexp(const char *path, int kind, const twRegexpT *re, tsLoopRegexpFn fn, void *arg)
{
    if (!re) return 7;
    char dir[TS_PATH_SIZE], file[TS_PATH_SIZE];
    int r = splitPattern(path, dir, file);
    if (r != 0) return r;
    DirListing *l = acquireListing(dir);
    if (!l) return 4;
    int counted = 0;
    for (int32_t i = 0; i < l->count; i++) {
        const DirEntry &e = l->entries[i];
        twRegexpMatch match;
        char full[TS_PATH_SIZE];
        if (!kindMatches(kind, e.kind) || !twRegexpExec(re, &match, e.name)) continue;
        if (!joinPath(full, dir, e.name)) continue;
        counted++;
        if (fn && fn(full, arg, &match) == 0) break;
    }
    releaseListing(l);
    return counted ? 0 : 4;
}

int tsDirForEachFile(const char *path, const char *pattern, int kind, tsForEachFileFn fn,
                     void *arg)
{
    char abs[TS_PATH_SIZE];
    long mtime = 0, size = 0;
    int fileKind = 0;
    if (!path || tsAbsPath2(path, abs) != 0) return -1;
    if (tsInfo(abs, &mtime, &size, &fileKind) != 0) return -1;
    if (fileKind != TS_KIND_DIR) {
        char node[TS_PATH_SIZE], dirPart[TS_PATH_SIZE], file[TS_PATH_SIZE], dir[TS_PATH_SIZE];
        if (tsParse2(abs, node, dirPart, file) != 0 || !joinPath(dir, node, dirPart)) return -1;
        if (fn) fn(arg, dir, file, mtime, size, fileKind);
        return 1;
    }
    char dir[TS_PATH_SIZE];
    if (!joinPath(dir, abs, "")) return -1; // adds the final "/" when missing
    DirListing *l = acquireListing(dir);
    if (!l) return -1;
    int counted = 0;
    for (int32_t i = 0; i < l->count; i++) {
        const DirEntry &e = l->entries[i];
        if (!kindMatches(kind, e.kind) || (pattern && !twStrMat(pattern, e.name))) continue;
        counted++;
        if (fn && fn(arg, dir, e.name, e.mtime, e.size, e.kind) == 0) break;
    }
    releaseListing(l);
    return counted;
}

// ---------------------------------------------------------------------------
// Stepping iterators

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
        if (!pattern || (tsParse2(path, nullptr, nullptr, file) == 0 && twStrMat(pattern, file)))
            return path;
        twStrFree(path);
    }
    return nullptr;
}

const char *tsStepWdirsForName(const char *pattern, int start, int kind)
{
    return toStatic(tsStepWdirsForNameAlloc(pattern, start, kind));
}
