/* search.cpp - finding a file by a short name.
 *
 * The places tried, in order: the version sub-directory of the name's own
 * directory, the name as given, the origin, every element of the
 * working-directory list, the executable's directory. Every candidate path
 * is at most 255 characters: one that would not fit a path buffer is passed
 * over, never cut short.
 */
#include "tslib/search.h"

#include <cstring>

#include "tslib/fileops.h"
#include "tslib/path.h"
#include "tslib/search_internal.h"
#include "twlib/core/exit.h"
#include "twlib/text/str.h"
#include "twlib/text/strtok.h"

namespace tslib {

bool copyPath(char *dst, const char *src)
{
    size_t len = strlen(src);
    if (len > kMaxPath) return false;
    memcpy(dst, src, len + 1);
    return true;
}

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

namespace {

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
bool tryCandidate(const char *node, const char *dir, const char *sub, const char *base, const char *ext,
                  int kind, char *out)
{
    char extended[TS_PATH_SIZE], candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (!copyPath(extended, dir)) return false;
    if (sub && *sub && tsDnpath(extended, sub) != TS_OK) return false;
    if (tsMerge(candidate, node, extended, base, ext) != TS_OK) return false;
    if (tsExists2(candidate, kind, found) != TS_OK) return false;
    strcpy(out, found);
    return true;
}

// A name that cannot be a path: the buffer gets as much of it as fits, for
// the caller's message.
int refuseName(const char *name, char *path)
{
    if (path) {
        size_t len = name ? strnlen(name, kMaxPath) : 0;
        if (len) memcpy(path, name, len);
        path[len] = '\0';
    }
    return TS_ERR_INVALID;
}

// Tries every element of the list in order, each one's directory extended
// by the name's own directory part.
bool searchWdirs(const NameParts &n, int kind, char *path)
{
    wdirEnsure();
    unsigned generation = wdirGeneration();
    for (const WdirElement *e = wdirFirst(); e; e = e->next) {
        if (tryCandidate(n.node, e->path, n.dir, n.base, n.ext, kind, path)) return true;
        // A purge routine run by a failing allocation may have cleared the
        // list, and 'e' with it.
        if (generation != wdirGeneration()) return false;
    }
    return false;
}

char *exeDir;  // pool string ending in "/", or null
bool exeDirHandlerAdded;

void releaseExeDir()
{
    if (exeDir) twStrFree(exeDir);
    exeDir = nullptr;
}

void releaseExeDirAtExit(void *)
{
    releaseExeDir();
    exeDirHandlerAdded = false;  // a later tsSetexedir registers again
}

int srchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path)
{
    if (!exeDir) return TS_ERR_NOTFOUND;
    char extended[TS_PATH_SIZE], candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (!copyPath(extended, exeDir)) return TS_ERR_NOTFOUND;
    if (dir && *dir && tsDnpath(extended, dir) != TS_OK) return TS_ERR_NOTFOUND;
    if (tsMerge(candidate, nullptr, extended, base ? base : "", ext ? ext : "") != TS_OK)
        return TS_ERR_NOTFOUND;
    int r = tsExists2(candidate, kind, found);
    if (r == TS_OK) strcpy(path, found);
    return r;
}

}  // namespace
}  // namespace tslib

using namespace tslib;

int tsGetini(const char *name, char *path)
{
    return tsSrchdirs(name, TS_KIND_FILE, path);
}

int tsSrchdirs(const char *name, int kind, char *path)
{
    wdirEnsure();
    if (!name || !*name || !path) return refuseName(name, path);
    NameParts n;
    if (tsParse(name, n.node, n.dir, n.base, n.ext) != TS_OK) return refuseName(name, path);

    const char *version = wdirVersion();
    if (version[0] && tryCandidate(n.node, n.dir, version, n.base, n.ext, kind, path)) return TS_OK;
    char found[TS_PATH_SIZE];
    if (tsExists2(name, kind, found) == TS_OK) {
        strcpy(path, found);
        return TS_OK;
    }
    strcpy(path, name);  // fits: tsParse refuses 256 characters or more

    // An absolute name is looked for only under its own path.
    if (n.dir[0] == '/' || n.node[0]) return TS_ERR_NOTFOUND;

    const char *origin = tsGetorigin();
    if (origin && strlen(origin) <= kMaxPath && tryCandidate("", origin, n.dir, n.base, n.ext, kind, path))
        return TS_OK;
    if (searchWdirs(n, kind, path)) return TS_OK;
    return srchExeDir(n.dir, n.base, n.ext, kind, path);
}

int tsSrchwdirs(const char *name, int kind, char *path)
{
    if (!name || !*name || !path) return refuseName(name, path);
    NameParts n;
    if (tsParse(name, n.node, n.dir, n.base, n.ext) != TS_OK) return refuseName(name, path);
    return searchWdirs(n, kind, path) ? TS_OK : TS_ERR_NOTFOUND;
}

int tsSrchExeDir(const char *dir, const char *base, const char *ext, int kind, char *path)
{
    if (!path) return TS_ERR_INVALID;
    return srchExeDir(dir, base, ext, kind, path);
}

int tsSetexedir(const char *argv0)
{
    releaseExeDir();
    if (!argv0) return 0;
    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], found[TS_PATH_SIZE];
    if (tsParse(argv0, node, dir, nullptr, nullptr) != TS_OK) return 0;
    if (dir[0] || node[0]) {
        if (tsExists2(argv0, TS_KIND_FILE, found) != TS_OK) return 0;
    } else if (tsFindExeInPath(argv0, found) != TS_OK) {
        return 0;
    }
    char merged[TS_PATH_SIZE];
    if (tsParse(found, node, dir, nullptr, nullptr) != TS_OK) return 0;
    if (tsMerge(merged, node, dir, nullptr, nullptr) != TS_OK) return 0;
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
    if (tsTrnlog("PATH", value) != TS_OK) return TS_ERR_INVALID;
    if (!name || !path) return TS_ERR_INVALID;
    char dir[TS_TRNLOG_SIZE];
    for (const char *p = value; (p = twStrTok(p, dir, sizeof dir, kSeparators)) != nullptr;) {
        char candidate[TS_PATH_SIZE], found[TS_PATH_SIZE];
        if (tsMerge(candidate, nullptr, dir, name, nullptr) != TS_OK) return 1;
        if (tsExists2(candidate, TS_KIND_FILE, found) == TS_OK) {
            strcpy(path, found);
            return TS_OK;
        }
    }
    return TS_ERR_NOTFOUND;
}
