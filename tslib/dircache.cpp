/* dircache.cpp - the cache of directory listings behind the directory loops.
 *
 * One listing per directory (keyed by its absolute path ending in "/"),
 * sorted by name so that loops walk it in order and a re-read can find the
 * old status of a name by binary search. The table owns every listing; a
 * listing is replaced when its directory changed and dropped by
 * tsResetWdirCache or a purge. Nobody else holds one: a walk keeps a cursor
 * (the last name and the serial number of the listing), never a pointer, so
 * a callback may drop or replace the listing under it.
 */
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "tslib/fileops.h"
#include "tslib/search_internal.h"
#include "twlib/containers/sym.h"
#include "twlib/core/exit.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/text/str.h"

namespace tslib {
namespace {

struct DirEntry {
    char *name;  // pool string
    long mtime;  // local-time seconds
    long size;
    int32_t kind;  // 2 directory, 3 other, -1 status unreadable
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
    uint64_t serial;  // unique for the process's life, never 0
    int32_t count;
    DirEntry *entries;
    DirStamp stamp;
    // The directory changed so shortly before it was read that a later
    // change might leave the same time stamp: read it again next time.
    bool racy;
};

constexpr uint32_t kFirstListingRoom = 100;
constexpr time_t kStampGranularity = 2;  // seconds; coarse file systems included

twSymTable *dirCache;
bool purgeAdded;
int cacheBusy;        // non-zero while the table is being changed
uint64_t lastSerial;  // of the newest listing

void releaseListing(DirListing *l)
{
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
    twSymTable *t = dirCache;
    dirCache = nullptr;
    twSymDestroy(t, releaseListingWord);
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
    return a.dev == b.dev && a.ino == b.ino && sameTime(a.mtime, b.mtime) && sameTime(a.ctime, b.ctime);
}

bool entryLess(const DirEntry &a, const DirEntry &b)
{
    return strcmp(a.name, b.name) < 0;
}

// The index of the first entry whose name sorts after 'name'.
int32_t firstAfter(const DirListing *l, const char *name)
{
    const DirEntry *begin = l->entries, *end = l->entries + l->count;
    const DirEntry *it = std::upper_bound(
        begin, end, name, [](const char *n, const DirEntry &e) { return strcmp(n, e.name) < 0; });
    return static_cast<int32_t>(it - begin);
}

const DirEntry *findEntry(const DirListing *l, const char *name)
{
    if (!l) return nullptr;
    const DirEntry *begin = l->entries, *end = l->entries + l->count;
    const DirEntry *it = std::lower_bound(
        begin, end, name, [](const DirEntry &e, const char *n) { return strcmp(e.name, n) < 0; });
    return (it != end && strcmp(it->name, name) == 0) ? it : nullptr;
}

// Reads the directory 'dir' (absolute, ending in "/"); names that were in
// 'old' keep their status from it. Null when the directory cannot be read.
DirListing *readListing(const char *dir, const DirListing *old, const struct stat &st)
{
    DIR *d = opendir(dir);
    if (!d) return nullptr;
    auto *l = static_cast<DirListing *>(twMemFlAlloc(sizeof(DirListing), "tsDirCache"));
    l->serial = ++lastSerial;
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
            l->entries =
                static_cast<DirEntry *>(twMemRealloc(l->entries, room * sizeof(DirEntry), "tsDirCache"));
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
        if (joinPath(full, dir, e.name) && tsInfo(full, &e.mtime, &e.size, &kind) == TS_OK) e.kind = kind;
    }
    return l;
}

// The current listing of 'dir' (absolute, ending in "/"), read again when
// the directory changed; null when it cannot be read. Valid until the next
// call into the cache or anything that may call out.
DirListing *currentListing(const char *dir)
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
        if (auto *prev = static_cast<DirListing *>(twSymStore(dirCache, dir, fresh))) releaseListing(prev);
        result = fresh;
    } else if (cur) {
        twSymRemove(dirCache, dir);
        releaseListing(cur);
    }
    cacheBusy--;
    return result;
}

// Hands out entry 'i' of 'l' and moves past it.
bool handOut(DirCursor *c, const DirListing *l, int32_t i)
{
    // Names longer than a path buffer cannot be joined to any directory;
    // the platform's names never are.
    while (i < l->count && strlen(l->entries[i].name) > kMaxPath) i++;
    if (i >= l->count) return false;
    const DirEntry &e = l->entries[i];
    strcpy(c->name, e.name);
    c->mtime = e.mtime;
    c->size = e.size;
    c->kind = e.kind;
    c->serial = l->serial;
    c->next = i + 1;
    return true;
}

}  // namespace

bool dirCursorOpen(DirCursor *c, const char *dir)
{
    if (!copyPath(c->dir, dir)) return false;
    c->name[0] = '\0';
    c->mtime = c->size = 0;
    c->kind = -1;
    c->next = 0;
    DirListing *l = currentListing(c->dir);
    c->serial = l ? l->serial : 0;
    return l != nullptr;
}

bool dirCursorNext(DirCursor *c)
{
    if (!c->serial) return false;
    auto *l = dirCache ? static_cast<DirListing *>(twSymFetch(dirCache, c->dir)) : nullptr;
    if (l && l->serial == c->serial) return handOut(c, l, c->next);
    // The listing was dropped or replaced since the last entry: go on in
    // whatever the directory holds now, after the last name handed out. A
    // listing another walk read meanwhile is fresh enough to take as it is.
    if (!l) l = currentListing(c->dir);
    if (!l) {
        c->serial = 0;
        return false;
    }
    if (handOut(c, l, firstAfter(l, c->name))) return true;
    c->serial = 0;
    return false;
}

void dirCacheDrop()
{
    if (!cacheBusy) releaseCache();
}

}  // namespace tslib
