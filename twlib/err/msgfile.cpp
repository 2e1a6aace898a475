/* msgfile.cpp - numbered messages kept in binary message files.
 *
 * A message file is a binary stream (tslib/dufs.h): its 2-byte descriptor,
 * then 15 header longs (check value, version, offsets of the index and of
 * the version, owner and release string records), message texts, string
 * records (a short length, then the bytes with their zero) and the index
 * (a count, then number, offset and length per message, by number).
 * Offsets count from the end of the descriptor. The index stays in memory
 * and is searched by bisection; texts are read on demand into a cache of
 * 80 entries, found through 128 chains by number and reused least recently
 * used first.
 *
 * Everything read from a file is checked before it is trusted: the index
 * must fit the file, its entries must lie inside it and be in order, so
 * a damaged file gives a clear error and never an allocation the file
 * cannot back or a read past its end.
 */
#include "twlib/err/msgfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tslib/dufs.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

namespace {

constexpr int32_t kCheckValue = 0x00010203;
constexpr int32_t kMaxCount = 200001;  // an index holds fewer entries
constexpr int kHeaderLongs = 15;
constexpr int kCacheEntries = 80;
constexpr int kCacheChains = 128;
constexpr uint32_t kFirstTextSize = 80;
constexpr uint32_t kStaticStep = 256;

enum { HDR_CHECK, HDR_MAJOR, HDR_MINOR, HDR_PATCH, HDR_INDEX, HDR_VERSION, HDR_OWNER,
       HDR_RELEASE };

struct IndexEntry {
    int32_t number;
    int32_t offset;
    int32_t length;  // zero byte included; >= 1
};

} // namespace

struct twMsgFileHandle {
    twMsgFileHandle *next;
    twMsgFileHandle *previous;
    twDufsB *stream;      // open for reading while the handle is open
    char *path;           // pool string: where the file was read from
    int32_t maxLength;    // largest text length of the index
    int32_t count;        // entries of 'index'
    IndexEntry *index;    // sorted by number; null when count is 0
    int32_t header[kHeaderLongs];
    char *name;           // pool string: the name the file was opened under
    char *owner;          // pool strings or null: the expectations of the first open
    char *release;
    char *minVersion;
    char *maxVersion;
    int refCount;         // opens not yet closed
};

namespace {

// Every open file, newest first.
twMsgFileHandle *openFiles = nullptr;
bool started = false;
bool debugMode = false;
bool noVersionCheck = false;
twMsgBuiltinFn builtinLookup = nullptr;
// The library's own file, once open, and whether it is being opened now:
// a failure met while loading it cannot be described by its messages.
twMsgFileHandle *ownFile = nullptr;
bool ownFileLoading = false;

// ---- the text cache ----

struct CacheEntry {
    twMsgFileHandle *file;  // null: free
    int number;
    char *text;             // twMemMalloc'd, 'size' bytes
    uint32_t size;
    CacheEntry *chainNext, *chainPrev;  // hash chain of number % 128
    CacheEntry *newer, *older;          // most-recently-used list
};

struct Cache {
    CacheEntry entries[kCacheEntries];
    CacheEntry *chains[kCacheChains];
    CacheEntry *newest, *oldest;
};

Cache *cache = nullptr;

int chainOf(int number)
{
    return static_cast<int>(static_cast<unsigned>(number) % kCacheChains);
}

void lruUnlink(CacheEntry *e)
{
    (e->newer ? e->newer->older : cache->newest) = e->older;
    (e->older ? e->older->newer : cache->oldest) = e->newer;
    e->newer = e->older = nullptr;
}

void lruPushNewest(CacheEntry *e)
{
    e->older = cache->newest;
    e->newer = nullptr;
    (cache->newest ? cache->newest->newer : cache->oldest) = e;
    cache->newest = e;
}

void lruPushOldest(CacheEntry *e)
{
    e->newer = cache->oldest;
    e->older = nullptr;
    (cache->oldest ? cache->oldest->older : cache->newest) = e;
    cache->oldest = e;
}

void chainUnlink(CacheEntry *e)
{
    if (!e->file) return;
    if (e->chainPrev) e->chainPrev->chainNext = e->chainNext;
    else cache->chains[chainOf(e->number)] = e->chainNext;
    if (e->chainNext) e->chainNext->chainPrev = e->chainPrev;
    e->chainNext = e->chainPrev = nullptr;
}

// Frees the entry for reuse: it leaves its chain and is taken next.
void releaseEntry(CacheEntry *e)
{
    chainUnlink(e);
    e->file = nullptr;
    lruUnlink(e);
    lruPushOldest(e);
}

void freeCache(void *)
{
    if (!cache) return;
    for (CacheEntry &e : cache->entries) twMemFree(e.text);
    twMemFree(cache);
    cache = nullptr;
}

void makeCache()
{
    if (cache) return;
    auto *c = static_cast<Cache *>(twMemCalloc(1, sizeof(Cache), "msgcache-initialize"));
    for (CacheEntry &e : c->entries) {
        e.text = static_cast<char *>(twMemMalloc(kFirstTextSize, "msgcache-initialize"));
        e.text[0] = '\0';
        e.size = kFirstTextSize;
    }
    cache = c;
    for (CacheEntry &e : c->entries) lruPushNewest(&e);
    twOnExitAdd(freeCache, nullptr);
    twOnExitSetOrder(freeCache, 85);
}

CacheEntry *cacheFind(const twMsgFileHandle *file, int number)
{
    for (CacheEntry *e = cache->chains[chainOf(number)]; e; e = e->chainNext)
        if (e->file == file && e->number == number) return e;
    return nullptr;
}

// A closed file's texts must never be found under a later handle that
// happens to get the same address.
void forgetFile(const twMsgFileHandle *file)
{
    if (!cache) return;
    for (CacheEntry &e : cache->entries)
        if (e.file == file) releaseEntry(&e);
}

// ---- raising ----

bool isOwnName(const char *name)
{
    return name && std::strcmp(name, "twlib") == 0;
}

TW_NORETURN void throwFatal(uint32_t tag, const char *routine, int number, const char *format,
                            ...)
{
    char text[300];
    char location[96];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    std::snprintf(location, sizeof location, "in call to routine %s()", routine);
    twExThrow(tag, twErrCreate(location, "twlib", number, TW_SEV_FATAL, text));
}

// Raises message 'number' of the library's own file about 'subject' (the
// file concerned; its name decides whether the fatal built-in texts apply).
// 'message' is the message number looked up, or 0 when there is none.
TW_NORETURN void raiseMsg(uint32_t tag, const char *routine, const char *subjectName, int number,
                       const char *path, int message)
{
    if (isOwnName(subjectName)) {
        if (number >= 1002 && number <= 1006)
            throwFatal(tag, routine, number, "TWLIB Error %d: Can't open message file %s.%s!\n", number,
                       "twlib", "tmb");
        if (number == 1007)
            throwFatal(tag, routine, number, "Trying to use wrong version of message file %s.%s!\n",
                       "twlib", "tmb");
        if (number >= 1021 && number <= 1023 && message != 0)
            throwFatal(tag, routine, number,
                       "TWLIB Error %d: Can't find message #%d in message file %s%s%s!\n", number,
                       message, "twlib", ".", "tmb");
        throwFatal(tag, routine, number, "TWLIB Error %d: Can't access message file %s%s%s!\n", number,
                   "twlib", ".", "tmb");
    }
    char location[96];
    std::snprintf(location, sizeof location, "in call to routine %s()", routine);
    twMsgFileHandle *own = twMsgFile();
    if (number == 1021 || number == 1022 || number == 1023)
        twExThrowBuild(tag, location, own, number, message, path);
    if (number == 1020) twExThrowBuild(tag, location, own, number);
    if (number == 1001) twExThrowBuild(tag, location, own, number, "tmb");
    twExThrowBuild(tag, location, own, number, path);
}

// ---- reading ----

// Reads 'count' longs; false when fewer could be read.
bool readLongs(twDufsB *stream, int32_t *to, int32_t count)
{
    return count == 0 || twDufsBRead(stream, to, count, TW_DUFSB_LONG, 1) == count;
}

bool seekTo(twDufsB *stream, int32_t offset)
{
    return offset >= 0 && twDufsBFseek(stream, offset, 0) == 0;
}

// The size of the file after its descriptor, or -1.
long fileSize(twDufsB *stream)
{
    if (twDufsBFseek(stream, 0, 2) != 0) return -1;
    return twDufsBFtell(stream);
}

// Compares the string record at 'offset' with 'expected'.
bool stringRecordIs(twDufsB *stream, int32_t offset, const char *expected)
{
    if (offset <= 0 || !seekTo(stream, offset)) return false;
    uint16_t length = 0;
    if (twDufsBRead(stream, &length, 1, TW_DUFSB_SHORT, 0) != 1) return false;
    size_t want = std::strlen(expected);
    if (length != want + 1) return false;
    char chunk[256];
    size_t done = 0;
    while (done < length) {
        size_t part = length - done < sizeof chunk ? length - done : sizeof chunk;
        if (twDufsBRead(stream, chunk, static_cast<int>(part), TW_DUFSB_BYTES, 0) != static_cast<int>(part))
            return false;
        if (std::memcmp(chunk, expected + done, part) != 0) return false;  // includes the zero
        done += part;
    }
    return true;
}

// Reads "major.minor.patch"; a part that cannot be read is absent (-1).
void versionParts(const char *text, long parts[3])
{
    parts[0] = parts[1] = parts[2] = -1;
    const char *p = text;
    for (int i = 0; i < 3; i++) {
        if (*p < '0' || *p > '9') return;
        long value = 0;
        while (*p >= '0' && *p <= '9') {
            if (value < 100000000) value = value * 10 + (*p - '0');
            p++;
        }
        parts[i] = value;
        if (*p != '.') return;
        p++;
    }
}

int compareVersions(const long a[3], const long b[3])
{
    for (int i = 0; i < 3; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

// Whether the file meets the expectations (null ones are skipped). The
// versions are ordered (major, minor, patch) triples: 5.1.0 lies between
// 4.0.0 and 6.0.0 whatever its minor part.
bool meetsExpectations(twMsgFileHandle *file, const char *owner, const char *release,
                       const char *minVersion, const char *maxVersion)
{
    if (owner && !stringRecordIs(file->stream, file->header[HDR_OWNER], owner)) return false;
    if (release && !stringRecordIs(file->stream, file->header[HDR_RELEASE], release)) return false;
    if (!minVersion && !maxVersion) return true;
    const long own[3] = {file->header[HDR_MAJOR], file->header[HDR_MINOR],
                         file->header[HDR_PATCH]};
    long low[3] = {-1, -1, -1}, high[3] = {-1, -1, -1};
    if (minVersion) versionParts(minVersion, low);
    if (maxVersion) versionParts(maxVersion, high);
    if (low[0] < 0) low[0] = own[0];
    for (int i = 1; i < 3; i++)
        if (low[i] < 0) low[i] = 0;
    for (int i = 0; i < 3; i++)
        if (high[i] < 0) high[i] = own[i];
    return compareVersions(low, own) <= 0 && compareVersions(own, high) <= 0;
}

void checkVersion(twMsgFileHandle *file, const char *owner, const char *release,
                  const char *minVersion, const char *maxVersion)
{
    if (meetsExpectations(file, owner, release, minVersion, maxVersion)) return;
    if (noVersionCheck) {
        twErrOut3(twErrLocationFile(file->path), "twlib", TW_SEV_WARNING,
                  "Message file failed versioning check.");
        return;
    }
    raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", file->name, 1007, file->path, 0);
}

// Reads header and index of the open stream into 'file'. Raises 1005 or
// 1006 (with file->path) for a file that is not a sound message file.
void readContents(twMsgFileHandle *file, const char *name)
{
    twDufsB *stream = file->stream;
    const char *path = file->path;
    long size = fileSize(stream);
    if (size < 0 || !seekTo(stream, 0) || !readLongs(stream, file->header, kHeaderLongs) ||
        file->header[HDR_CHECK] != kCheckValue)
        raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1005, path, 0);
    int32_t count = 0;
    int32_t indexAt = file->header[HDR_INDEX];
    if (!seekTo(stream, indexAt) || !readLongs(stream, &count, 1) || count < 0 ||
        count >= kMaxCount)
        raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1005, path, 0);
    // Each entry takes at least 12 bytes of the file: a count the file
    // cannot back is damage, not a reason to allocate.
    if (static_cast<long>(count) * 12 > size - twDufsBFtell(stream))
        raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1006, path, 0);
    if (count > 0) {
        file->index = static_cast<IndexEntry *>(
            twMemMalloc(static_cast<uint32_t>(count) * sizeof(IndexEntry), "twMsgFileOpen"));
        if (!readLongs(stream, &file->index[0].number, count * 3))
            raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1006, path, 0);
    }
    file->count = count;
    for (int32_t i = 0; i < count; i++) {
        const IndexEntry &e = file->index[i];
        if (e.offset < 0 || e.length < 1 || e.length > size || e.offset > size - e.length ||
            (i > 0 && e.number < file->index[i - 1].number))
            raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1006, path, 0);
        if (e.length > file->maxLength) file->maxLength = e.length;
    }
}

void freeHandle(twMsgFileHandle *h)
{
    if (h->stream) twDufsBFclose(h->stream);
    if (h->index) twMemFree(h->index);
    twStrFree(h->path);
    twStrFree(h->name);
    twStrFree(h->owner);
    twStrFree(h->release);
    twStrFree(h->minVersion);
    twStrFree(h->maxVersion);
    twMemFree(h);
}

void unlinkHandle(twMsgFileHandle *h)
{
    (h->previous ? h->previous->next : openFiles) = h->next;
    if (h->next) h->next->previous = h->previous;
    h->next = h->previous = nullptr;
}

void closeHandle(twMsgFileHandle *h)
{
    unlinkHandle(h);
    forgetFile(h);
    if (h == ownFile) ownFile = nullptr;
    freeHandle(h);
}

void closeAllFiles(void *)
{
    while (openFiles) closeHandle(openFiles);
}

void start()
{
    if (started) return;
    started = true;
    twOnExitAdd(closeAllFiles, nullptr);
    twOnExitSetOrder(closeAllFiles, 85);
    debugMode = std::getenv("TW_MSGFILEDBG") != nullptr;
    noVersionCheck = std::getenv("TW_MSGNOVERSION") != nullptr;
}

bool isOpen(const twMsgFileHandle *file)
{
    if (!file) return false;
    for (const twMsgFileHandle *h = openFiles; h; h = h->next)
        if (h == file) return true;
    return false;
}

// Opens the stream of file 'name' into 'h' (path and stream). A file that
// the search finds comes first; the compiled-in copy of a library
// catalogue is used only when it finds none.
void openStream(twMsgFileHandle *h, const char *name)
{
    char fileName[TS_PATH_SIZE];
    char path[TS_PATH_SIZE + 2];  // room for the brackets of a compiled-in copy
    if (tsMerge(fileName, nullptr, nullptr, name, "tmb") != TS_OK)
        raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1002, name, 0);
    if (tsGetini(fileName, path) == TS_OK) {
        h->path = twStrCpy(path);
        h->stream = twDufsBFopen(path, "r");
        if (!h->stream) raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1004, path, 0);
        return;
    }
    size_t size = 0;
    const unsigned char *bytes = builtinLookup ? builtinLookup(name, &size) : nullptr;
    if (!bytes || size == 0) raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1003, fileName, 0);
    std::snprintf(path, sizeof path, "<%s>", fileName);
    h->path = twStrCpy(path);
    FILE *memory = fmemopen(const_cast<unsigned char *>(bytes), size, "rb");
    if (!memory) raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1004, path, 0);
    // A descriptor the stream refuses leaves the memory stream ours.
    FILE *volatile held = memory;
    TW_TRY(TW_EX_ALL) {
        h->stream = twDufsBSetup(memory, "r");
    } TW_CATCH {
        std::fclose(held);
        TW_EX_RETHROW();
    } TW_END_TRY;
    if (!h->stream) {
        std::fclose(memory);
        raiseMsg(TW_EX_POSTCOND, "twMsgFileOpen", name, 1004, path, 0);
    }
}

// Loads file 'name' into a new handle (not yet listed); a failure frees it
// and passes on.
twMsgFileHandle *load(const char *name)
{
    auto *h = static_cast<twMsgFileHandle *>(
        twMemCalloc(1, sizeof(twMsgFileHandle), "twMsgFileOpen"));
    h->name = twStrCpy(name);
    twMsgFileHandle *volatile loading = h;
    TW_TRY(TW_EX_ALL) {
        openStream(h, name);
        readContents(h, name);
    } TW_CATCH {
        freeHandle(loading);
        // A stream failure while reading the library's own file cannot be
        // told by its messages either.
        if (isOwnName(name) && twErrApp(twExErrV) &&
            std::strcmp(twErrApp(twExErrV), "twlib") == 0 &&
            twErrSeverity(twExErrV) != TW_SEV_FATAL) {
            int number = twErrNum(twExErrV);
            uint32_t tag = twExTagV;
            TW_EX_SWALLOW();
            throwFatal(tag, "twMsgFileOpen", 1008,
                       "TWLIB Error %d: Error %d occured while trying to open or read the "
                       "binary message file %s.%s!\n",
                       1008, number, "twlib", "tmb");
        }
        TW_EX_RETHROW();
    } TW_END_TRY;
    return h;
}

// The handle must be open; otherwise 1020 with TW_EX_PRECOND.
void requireOpen(twMsgFileHandle *file, const char *routine)
{
    if (isOpen(file)) return;
    // By handle: a handle that is not open might have been the library's
    // own, which is known only while it is open.
    raiseMsg(TW_EX_PRECOND, routine, nullptr, 1020, nullptr, 0);
}

// The index entry of message 'number', by bisection; null when missing.
const IndexEntry *findEntry(const twMsgFileHandle *file, int number)
{
    int32_t low = 0, high = file->count - 1;
    while (low <= high) {
        int32_t mid = low + (high - low) / 2;
        const IndexEntry &e = file->index[mid];
        if (e.number == number) return &e;
        if (e.number < number) low = mid + 1;
        else high = mid - 1;
    }
    return nullptr;
}

// The debug mode's stand-in for a missing message.
void diagnosticText(const twMsgFileHandle *file, int number, char *text, size_t size)
{
    std::snprintf(text, size, "TWLIB Error %d: Can't find message #%d in message file %s%s%s!\n",
                  1021, number, file->path, "", "");
}

// Reads message 'number' of 'file' into a cache entry, or returns null when
// the index lacks it.
CacheEntry *fetch(twMsgFileHandle *file, int number)
{
    makeCache();
    CacheEntry *hit = cacheFind(file, number);
    if (hit) {
        lruUnlink(hit);
        lruPushNewest(hit);
        return hit;
    }
    const IndexEntry *found = findEntry(file, number);
    if (!found) return nullptr;
    if (!seekTo(file->stream, found->offset))
        raiseMsg(TW_EX_POSTCOND, "twMsgText", file->name, 1022, file->path, number);
    // The entry is free while the text is read: a short read or a raise
    // leaves nothing keyed to a partial text.
    CacheEntry *e = cache->oldest;
    releaseEntry(e);
    uint32_t need = static_cast<uint32_t>(found->length) + 1;
    if (e->size < need) {
        char *bigger = static_cast<char *>(twMemMalloc(need, "msgcache-initialize"));
        twMemFree(e->text);
        e->text = bigger;
        e->size = need;
    }
    e->text[0] = '\0';
    if (twDufsBRead(file->stream, e->text, found->length, TW_DUFSB_BYTES, 0) != found->length)
        raiseMsg(TW_EX_POSTCOND, "twMsgText", file->name, 1023, file->path, number);
    e->text[found->length] = '\0';  // a text without its zero ends here all the same
    e->file = file;
    e->number = number;
    int chain = chainOf(number);
    e->chainPrev = nullptr;
    e->chainNext = cache->chains[chain];
    if (e->chainNext) e->chainNext->chainPrev = e;
    cache->chains[chain] = e;
    lruUnlink(e);
    lruPushNewest(e);
    return e;
}

// ---- the static message buffer ----

char *staticText = nullptr;
uint32_t staticSize = 0;

void freeStatic(void *)
{
    if (staticText) twMemFree(staticText);
    staticText = nullptr;
    staticSize = 0;
}

// Copies the text into the static buffer, which grows in steps of 256.
int copyToStatic(void *, const char *text)
{
    size_t length = std::strlen(text);
    if (!staticText || length + 1 > staticSize) {
        size_t size = staticSize ? staticSize : kStaticStep;
        if (length + 1 > size) size += (length + 1 - size + kStaticStep - 1) / kStaticStep * kStaticStep;
        char *bigger = static_cast<char *>(twMemMalloc(static_cast<uint32_t>(size), "twStaticBuffer"));
        if (!staticText) {
            twOnExitAdd(freeStatic, nullptr);
            twOnExitSetOrder(freeStatic, 85);
        }
        if (staticText) twMemFree(staticText);
        staticText = bigger;
        staticSize = static_cast<uint32_t>(size);
    }
    std::memcpy(staticText, text, length + 1);
    return 0;
}

} // namespace

extern "C" {

twMsgBuiltinFn twMsg_SetBuiltinCatalogues(twMsgBuiltinFn fn)
{
    twMsgBuiltinFn previous = builtinLookup;
    builtinLookup = fn;
    return previous;
}

twMsgFileHandle *twMsgFileOpen(const char *name, const char *owner, const char *release,
                               const char *minVersion, const char *maxVersion)
{
    start();
    if (!name) raiseMsg(TW_EX_PRECOND, "twMsgFileOpen", nullptr, 1001, nullptr, 0);
    for (twMsgFileHandle *h = openFiles; h; h = h->next) {
        if (std::strcmp(h->name, name) != 0) continue;
        checkVersion(h, owner, release, minVersion, maxVersion);
        h->refCount++;
        return h;
    }
    twMsgFileHandle *const h = load(name);
    h->owner = twStrCpy(owner);
    h->release = twStrCpy(release);
    h->minVersion = twStrCpy(minVersion);
    h->maxVersion = twStrCpy(maxVersion);
    h->refCount = 1;
    h->next = openFiles;
    if (openFiles) openFiles->previous = h;
    openFiles = h;
    twMsgFileHandle *volatile opened = h;
    TW_TRY(TW_EX_ALL) {
        checkVersion(h, owner, release, minVersion, maxVersion);
    } TW_CATCH {
        closeHandle(opened);
        TW_EX_RETHROW();
    } TW_END_TRY;
    return opened;
}

void twMsgFileClose(twMsgFileHandle *file)
{
    if (!isOpen(file)) return;
    if (--file->refCount == 0) closeHandle(file);
}

twMsgFileHandle *twMsgFile(void)
{
    if (ownFile && isOpen(ownFile)) return ownFile;
    if (ownFileLoading)
        throwFatal(TW_EX_POSTCOND, "twMsgFileOpen", 1004,
                   "TWLIB Error %d: Can't open message file %s.%s!\n", 1004, "twlib", "tmb");
    ownFileLoading = true;
    TW_TRY(TW_EX_ALL) {
        ownFile = twMsgFileOpen("twlib", "twlib", "5.0", "5.0.0", nullptr);
    } TW_CATCH {
        ownFileLoading = false;
        TW_EX_RETHROW();
    } TW_END_TRY;
    ownFileLoading = false;
    return ownFile;
}

const char *twMsgGetFilename(twMsgFileHandle *file)
{
    requireOpen(file, "twMsgGetFilename");
    return file->name;
}

const char *twMsgGetOwner(twMsgFileHandle *file)
{
    return isOpen(file) ? file->owner : nullptr;
}

const char *twMsgGetPath(twMsgFileHandle *file)
{
    return isOpen(file) ? file->path : nullptr;
}

int twMsgText(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data)
{
    requireOpen(file, "twMsgText");
    CacheEntry *e = fetch(file, number);
    if (e) return copy(data, e->text);
    if (!debugMode) raiseMsg(TW_EX_POSTCOND, "twMsgText", file->name, 1021, file->path, number);
    char text[TS_PATH_SIZE + 128];
    diagnosticText(file, number, text, sizeof text);
    return copy(data, text);
}

int twMsgGenerateVa(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data, va_list ap)
{
    requireOpen(file, "twMsgGenerateVa");
    if (debugMode && !findEntry(file, number)) {
        // The diagnostic text is not a format: a path may hold a '%'.
        char text[TS_PATH_SIZE + 128];
        diagnosticText(file, number, text, sizeof text);
        return copy(data, text);
    }
    char *raw = nullptr;
    twMsgText(file, number, twMsgCopyAlloc, &raw);
    char *volatile held = raw;
    char *formatted = nullptr;
    TW_TRY(TW_EX_ALL) {
        formatted = twSprintfAllocVa(raw, ap);
    } TW_CATCH {
        twStrFree(held);
        TW_EX_RETHROW();
    } TW_END_TRY;
    twStrFree(raw);
    // The copy function may raise: the formatted text is released on the
    // way out as well.
    char *volatile result = formatted;
    volatile int value = 0;
    TW_TRY(TW_EX_ALL) {
        value = copy(data, formatted ? formatted : "");
    } TW_CATCH {
        twStrFree(result);
        TW_EX_RETHROW();
    } TW_END_TRY;
    twStrFree(formatted);
    return value;
}

int twMsgGenerate(twMsgFileHandle *file, int number, twMsgCopyFn copy, void *data, ...)
{
    va_list ap;
    va_start(ap, data);
    int value = twMsgGenerateVa(file, number, copy, data, ap);
    va_end(ap);
    return value;
}

int twMsgCopyAlloc(void *data, const char *text)
{
    *static_cast<char **>(data) = twStrCpy(text);
    return 0;
}

int twMsgCopyToBuffer(void *data, const char *text)
{
    auto *desc = static_cast<twMsgBufferDesc *>(data);
    size_t length = std::strlen(text);
    if (desc->size == 0) return 1;
    size_t keep = length < desc->size ? length : desc->size - 1;
    std::memcpy(desc->buffer, text, keep);
    desc->buffer[keep] = '\0';
    return length >= desc->size ? 1 : 0;
}

char *twMsgAlloc(twMsgFileHandle *file, int number, ...)
{
    char *text = nullptr;
    va_list ap;
    va_start(ap, number);
    twMsgGenerateVa(file, number, twMsgCopyAlloc, &text, ap);
    va_end(ap);
    return text;
}

int twMsgBuffer(twMsgFileHandle *file, int number, size_t size, char *buffer, ...)
{
    twMsgBufferDesc desc = {size, buffer};
    va_list ap;
    va_start(ap, buffer);
    int cut = twMsgGenerateVa(file, number, twMsgCopyToBuffer, &desc, ap);
    va_end(ap);
    return cut;
}

const char *twMsgStaticVa(twMsgFileHandle *file, int number, va_list ap)
{
    twMsgGenerateVa(file, number, copyToStatic, nullptr, ap);
    return staticText;
}

const char *twMsgStatic(twMsgFileHandle *file, int number, ...)
{
    va_list ap;
    va_start(ap, number);
    const char *text = twMsgStaticVa(file, number, ap);
    va_end(ap);
    return text;
}

} // extern "C"
