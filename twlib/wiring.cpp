/* wiring.cpp - connects the floor of the library to the layers above it.
 *
 * Lower modules never call up by name: where the design has them reach a
 * higher one (the orderly end tearing down the string pool and the cursor
 * lists, twAbort leaving a core image, named free lists keeping pool
 * strings, the floor and the text layer raising and reporting errors, the
 * exceptions reading message files) they own a hook, and this file fills
 * every hook when the program is loaded, before main runs. It is the only
 * file that may include every layer.
 *
 * A static library only contributes the objects a program refers to, so the
 * library's link interface names tw_LibraryWired: every program that links
 * twlib links this file, and every hook is in place from the start.
 */
#include <cstdarg>
#include <cstdio>

#include "tslib/fileops.h"
#include "tslib/msgfile.h"
#include "twlib/containers/dlist.h"
#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/err/error.h"
#include "twlib/err/errlog.h"
#include "twlib/err/errstream.h"
#include "twlib/err/except.h"
#include "twlib/err/msgfile.h"
#include "twlib/err/report.h"
#include "twlib/pref/options.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

namespace {

void tearDownStrings()
{
    twStrTerminate();
}

void tearDownLists()
{
    twDlistPurge();
}

void dumpCore()
{
    tsCoreDump();
}

char *copyName(const char *name)
{
    return twStrCpy(name);
}

void freeName(char *name)
{
    twStrFree(name);
}

void raiseText(uint32_t tag, const char *app, int severity, const char *text)
{
    twExThrow2(tag, app, severity, text);
}

void raiseBuild(uint32_t tag, const char *routine, const char *catalogue, int number, va_list ap)
{
    char location[160];
    if (routine) snprintf(location, sizeof location, "in call to routine %s()", routine);
    twExThrowBuildVa(tag, routine ? location : nullptr, twEx_LibraryMessageFile(catalogue), number, ap);
}

const char *messageText(twMsgFileHandle *file, int number, va_list ap)
{
    return twMsgStaticVa(file, number, ap);
}

const char *messageFileName(twMsgFileHandle *file)
{
    // Null for a handle that is not open, as the records expect.
    return twMsgGetPath(file) ? twMsgGetFilename(file) : nullptr;
}

twMsgFileHandle *libraryCatalogue(const char *catalogue)
{
    if (catalogue && catalogue[0] == 't' && catalogue[1] == 's') return tsMsgFile();
    return twMsgFile();
}

const twExMessageSource messageSource = {messageText, messageFileName, libraryCatalogue};

twMsgFileHandle *ownCatalogue()
{
    return libraryCatalogue("twlib");
}

const twErrMessageSource recordMessageSource = {messageText, messageFileName, ownCatalogue};

// A report counts its error in the caller's stream, which then keeps only
// the counts.
void countInStream(twErrStream *stream, twErr *error)
{
    twErrStreamAdd(stream, error);
    twErrStreamSetAlert(stream, 0);
}

bool wire()
{
    twExit_SetTeardown(TW_TEARDOWN_STRINGS, tearDownStrings);
    twExit_SetTeardown(TW_TEARDOWN_LISTS, tearDownLists);
    twExit_SetCoreDump(dumpCore);
    twMemFl_SetNameHooks(copyName, freeName);
    tw_SetRaiseHooks(raiseText, raiseBuild);
    tw_SetReportHook(twErrReport2);
    tw_SetFormatHook(twSprintf_FormatVa);
    twEx_SetMessageSource(&messageSource);
    twErr_SetMessageSource(&recordMessageSource);
    twErr_SetStreamHook(countInStream);
    twMsg_SetBuiltinCatalogues(twMsg_BuiltinCatalogue);
    twErr_SetPrefsHooks(twPref_ErrInit, twPref_ErrGetPrefs);
    twEx_SetCatchSignalsReader(twPref_ExCatchSignals);
    twErrLog_SetKeepReader(twPref_ErrKeepLogs);
    twErr_SetLogHook(twErrLog);
    twErr_SetArgv0Hook(twErrLogSetArgv0);
    return true;
}

}  // namespace

extern "C" {
// Named by the library's link interface so that this object is always linked.
extern const int tw_LibraryWired;
const int tw_LibraryWired = wire();
}
