/* wdir.cpp - the working-directory list and the compatible version.
 *
 * The list is read from WDIR at the first use and again after a reset:
 * each name gives its version sub-directory (when a version is in force and
 * the extended path fits) and then itself. Names too long for a path buffer
 * are skipped as a whole, never cut short.
 *
 * Clearing the list bumps a generation number; code that walks the list and
 * calls out compares it after every call, because the elements it was
 * walking are gone once it changed.
 */
#include "tslib/wdir.h"

#include <cstring>

#include "tslib/path.h"
#include "tslib/search_internal.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/text/strtok.h"

const char *twCompatibleVersionV = "532";
const char *twCompatibleExeTagV = "$Tarnwerks compatible version: 532$";

namespace tslib {
namespace {

constexpr size_t kVersionSize = 80;

WdirElement *wdirList;
WdirElement *wdirTail;
bool dirty = true;  // rebuild before the next use
char compatVersion[kVersionSize];
bool versionFixed;        // set once tsWdirSetCompatibleVersion ran
bool listHandlerAdded;    // the exit handler for the list is registered
unsigned listGeneration;  // changes whenever the list is cleared

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
    WdirElement *e = wdirList;
    // Detach first: nothing below calls out, but the list must never be
    // seen half freed.
    wdirList = wdirTail = nullptr;
    listGeneration++;
    while (e) {
        WdirElement *next = e->next;
        twMemFree(e->path);
        twMemFree(e);
        e = next;
    }
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
    if (tsTrnlog("WDIR", value) != TS_OK) return;
    // The token buffer is as large as the value, so a token is never cut:
    // a name too long for a path buffer is skipped as a whole.
    char name[TS_TRNLOG_SIZE];
    for (const char *p = value; (p = twStrTok(p, name, sizeof name, kSeparators)) != nullptr;) {
        if (strlen(name) > kMaxPath) continue;
        if (compatVersion[0]) {
            char versionDir[TS_PATH_SIZE];
            strcpy(versionDir, name);
            if (tsDnpath(versionDir, compatVersion) == TS_OK) addElement(versionDir, 1);
        }
        addElement(name, 0);
    }
}

}  // namespace

void wdirEnsure()
{
    if (dirty) rebuildList();
}

const WdirElement *wdirFirst()
{
    return wdirList;
}

unsigned wdirGeneration()
{
    return listGeneration;
}

const char *wdirVersion()
{
    return compatVersion;
}

}  // namespace tslib

void tsWdirSetCompatibleVersion(const char *version)
{
    tslib::clearList(true);
    tslib::dirty = true;
    tslib::copyVersion(version);
    tslib::versionFixed = true;
}

void tsResetWdirCache(void)
{
    tslib::clearList(true);
    tslib::dirty = true;
    tslib::dirCacheDrop();
}
