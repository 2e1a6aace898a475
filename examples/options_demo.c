/* options_demo.c - a first program with twlib: typed options from the
 * command line and an ini file, errors reported through the library.
 *
 *     options_demo [-ini file] [-save file] [options...] [words...]
 *
 * The options live in the preference database "demo". Each can be given on
 * the command line as "-demo.width 80" or, since the demo makes "demo" its
 * shorthand, as "-width 80"; the on/off option "wrap" takes no value and is
 * switched with "+wrap" and "-wrap". Values come, strongest first, from the command line, from the
 * program itself, from a line of the ini file naming the database
 * ("demo.width 72") and from a line naming none ("width 60"). "-usage"
 * lists every option. The ini file is options_demo.ini, looked for in the
 * current directory, the directories of WDIR and the program's own
 * directory, unless -ini names another. -save rewrites an ini file with the
 * current values, keeping its comments where they stood.
 *
 * A value that its type refuses ends the run with the library's report of
 * the error and exit status 2.
 */
#include <stdio.h>

#include "twlib/core/exit.h"
#include "twlib/err/error.h"
#include "twlib/err/except.h"
#include "twlib/err/report.h"
#include "twlib/pref/inifile.h"
#include "twlib/pref/options.h"
#include "twlib/text/strbuf.h"

static const char *modeNames[] = {"draft", "final", "fancy"};

/* Prints "name value" for one option. */
static int printOption(void *arg, twPrefDB *db, const char *dbName, const char *optionName,
                       const char *helpText, twTypeSpec *spec, twTypedata *value,
                       twTypedata *defaultValue, int changed)
{
    twStrBuf *text = arg;
    (void)db, (void)dbName, (void)helpText, (void)defaultValue;
    twStrBufClear(text);
    twTypeAppendText(spec, value, text);
    printf("%-6s %s%s\n", optionName, twStrBufString(text), changed ? "" : " (default)");
    return 1;
}

/* Declares the options and their defaults. */
static twPrefDB *declareOptions(twTypeSpec *mode)
{
    twPrefDB *db = twPrefCreate("demo");
    twTypedata width = twTypeLongToTypedata(72);
    twTypedata off = twTypeLongToTypedata(0);
    twTypedata title = twTypePtrToTypedata("Untitled");
    twTypedata draft = twTypeLongToTypedata(0);
    twPrefAdd(db, "width", &twPositiveIntTS, "Columns of the page.", &width);
    twPrefAdd(db, "wrap", &twOnOffTS, "Wrap lines longer than the page.", &off);
    twPrefAdd(db, "title", &twStringTS, "Title printed on every page.", &title);
    twPrefAdd(db, "mode", mode, "How much care the output gets: draft, final or fancy.", &draft);
    return db;
}

int main(int argc, char **argv)
{
    /* The library's own preferences first ("-err.stdout", ...). */
    twErrInit(&argc, argv);
    twExInit(&argc, argv);
    twPrefSetShorthand("demo");

    twTypeSpec *mode = twTypeCreateEnum("modeVT", modeNames, 3);
    twPrefDB *db = declareOptions(mode);
    if (twPrefUsage(argc, argv)) {
        twPrefDestroy(db);
        twTypeTSFree(mode);
        twGoodbye();
    }
    const char *ini = twCmdFlag(&argc, argv, "-ini", 1);
    const char *save = twCmdFlag(&argc, argv, "-save", 1);

    volatile int status = 0;
    TW_TRY(TW_EX_ALL) {
        if (!twPrefParse(ini ? ini : "options_demo", &argc, argv))
            printf("no ini file %s\n", ini ? ini : "options_demo.ini");
    } TW_CATCH {
        /* The report prints the pending error with its causes and takes it. */
        twErrReport(NULL, twExErrV);
        status = 2;
    } TW_END_TRY;

    if (status == 0) {
        twStrBuf *text = twStrBufCreate(80);
        twPrefForEachUserOption(db, printOption, text);
        twStrBufDestroy(text);
        for (int i = 1; i < argc; ++i) printf("word   %s\n", argv[i]);
        if (save && !twPrefWriteIniFile(db, save, 1)) status = 1;
    }
    twPrefDestroy(db);
    twTypeTSFree(mode);
    twExit(status);
}
