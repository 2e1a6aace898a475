/* loop.cpp - loops over the working directories and over directory entries.
 *
 * A callback may clear the working-directory list or drop the listing
 * cache, so neither kind of loop keeps a pointer into library-owned records
 * across a call: the working-directory loops check the list's generation
 * before taking the next element, and the directory loops walk through a
 * cursor that remembers the last name handed out. Callbacks get copies.
 */
#include "tslib/loop.h"

#include <cstring>

#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search_internal.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

using namespace tslib;

namespace {

// Calls fn(arg, path) for each element of the list ('plainOnly': only the
// directories named in WDIR) until it returns 0 or the list is cleared.
// 0 when the callback ended the loop, 1 otherwise.
template <typename Call> int walkWdirs(bool plainOnly, unsigned generation, Call call)
{
    for (const WdirElement *e = wdirFirst(); e; e = e->next) {
        if (plainOnly && e->isCompat) continue;
        char path[TS_PATH_SIZE];
        strcpy(path, e->path);  // at most 255 characters
        if (call(path) == 0) return 0;
        // A cleared list took 'e' with it: stop before touching it again.
        if (generation != wdirGeneration()) return 1;
    }
    return 1;
}

// The absolute directory part of 'pattern' (ending in "/") and its file
// part; the error of making it absolute or splitting it otherwise.
int splitPattern(const char *pattern, char *dir, char *file)
{
    char abs[TS_PATH_SIZE], node[TS_PATH_SIZE], dirPart[TS_PATH_SIZE];
    int r = tsAbsPath2(pattern, abs);
    if (r != TS_OK) return r;
    r = tsParse2(abs, node, dirPart, file);
    if (r != TS_OK) return r;
    return joinPath(dir, node, dirPart) ? TS_OK : TS_ERR_PATH;
}

bool kindMatches(int wanted, int kind)
{
    return kind >= 0 && (wanted == TS_KIND_ANY || wanted == kind);
}

bool countOnly(tsLoopFn fn)
{
    // The do-nothing procedure marks a loop that only counts; it is compared,
    // never called (its type differs from the callback's).
    return !fn || reinterpret_cast<void (*)()>(fn) == reinterpret_cast<void (*)()>(&twDummyProc);
}

}  // namespace

int tsLoopwdirs(tsPathFn fn)
{
    wdirEnsure();
    if (!fn) return 1;
    return walkWdirs(true, wdirGeneration(), [fn](const char *path) { return fn(path); });
}

int tsLoopWdirs2(tsPathArgFn fn, void *arg)
{
    wdirEnsure();
    if (!fn) return 1;
    return walkWdirs(true, wdirGeneration(), [fn, arg](const char *path) { return fn(arg, path); });
}

int tsWdirLoopSrchdirs2(tsPathArgFn fn, void *arg)
{
    wdirEnsure();
    if (!fn) return 1;
    unsigned generation = wdirGeneration();
    const char *version = wdirVersion();
    if (version[0]) {
        char versionDir[TS_PATH_SIZE];
        joinPath(versionDir, version, "");  // at most 79 characters and a "/"
        if (fn(arg, versionDir) == 0) return 0;
        if (generation != wdirGeneration()) return 1;
    }
    if (fn(arg, ".") == 0) return 0;
    if (generation != wdirGeneration()) return 1;
    return walkWdirs(false, generation, [fn, arg](const char *path) { return fn(arg, path); });
}

int tsLoop2(const char *pattern, int kind, tsLoopFn fn, void *arg)
{
    char dir[TS_PATH_SIZE], file[TS_PATH_SIZE];
    int r = splitPattern(pattern, dir, file);
    if (r != TS_OK) return r;
    if (!file[0]) {
        if (kind == TS_KIND_FILE) return TS_ERR_PATH;
        kind = TS_KIND_DIR;
    }
    DirCursor c;
    if (!dirCursorOpen(&c, dir)) return TS_ERR_NOTFOUND;
    bool quiet = countOnly(fn);
    int counted = 0;
    while (dirCursorNext(&c)) {
        char path[TS_PATH_SIZE];
        if (!kindMatches(kind, c.kind) || !twStrMat(file, c.name)) continue;
        if (!joinPath(path, c.dir, c.name)) continue;
        counted++;
        if (!quiet && fn(path, arg) == 0) break;
    }
    return counted ? TS_OK : TS_ERR_NOTFOUND;
}

int tsLoop(const char *pattern, int kind, tsLoopFn fn)
{
    return tsLoop2(pattern, kind, fn, nullptr);
}

int tsLoopRegexp(const char *path, int kind, const twRegexpT *re, tsLoopRegexpFn fn, void *arg)
{
    if (!re) return TS_ERR_INVALID;
    char dir[TS_PATH_SIZE], file[TS_PATH_SIZE];
    int r = splitPattern(path, dir, file);
    if (r != TS_OK) return r;
    DirCursor c;
    if (!dirCursorOpen(&c, dir)) return TS_ERR_NOTFOUND;
    int counted = 0;
    while (dirCursorNext(&c)) {
        // The match points into the cursor's copy of the name, which the
        // callback cannot take away.
        twRegexpMatch match;
        char full[TS_PATH_SIZE];
        if (!kindMatches(kind, c.kind) || !twRegexpExec(re, &match, c.name)) continue;
        if (!joinPath(full, c.dir, c.name)) continue;
        counted++;
        if (fn && fn(full, arg, &match) == 0) break;
    }
    return counted ? TS_OK : TS_ERR_NOTFOUND;
}

int tsDirForEachFile(const char *path, const char *pattern, int kind, tsForEachFileFn fn, void *arg)
{
    char abs[TS_PATH_SIZE];
    long mtime = 0, size = 0;
    int fileKind = 0;
    if (!path || tsAbsPath2(path, abs) != TS_OK) return -1;
    if (tsInfo(abs, &mtime, &size, &fileKind) != TS_OK) return -1;
    if (fileKind != TS_KIND_DIR) {
        char node[TS_PATH_SIZE], dirPart[TS_PATH_SIZE], file[TS_PATH_SIZE], dir[TS_PATH_SIZE];
        if (tsParse2(abs, node, dirPart, file) != TS_OK || !joinPath(dir, node, dirPart)) return -1;
        if (fn) fn(arg, dir, file, mtime, size, fileKind);
        return 1;
    }
    char dir[TS_PATH_SIZE];
    if (!joinPath(dir, abs, "")) return -1;  // adds the final "/" when missing
    DirCursor c;
    if (!dirCursorOpen(&c, dir)) return -1;
    int counted = 0;
    while (dirCursorNext(&c)) {
        if (!kindMatches(kind, c.kind) || (pattern && !twStrMat(pattern, c.name))) continue;
        counted++;
        if (fn && fn(arg, c.dir, c.name, c.mtime, c.size, c.kind) == 0) break;
    }
    return counted;
}
