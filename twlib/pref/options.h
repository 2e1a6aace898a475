/* options.h - options from the command line and ini files, and the usage
 * list.
 *
 * twPrefParse takes the options of the registered preference databases off
 * the command line and fills them from ini files (twlib/pref/inifile.h for
 * the line syntax). An option is named "-db.option value" or, for the
 * shorthand database (by default the program's own name), "-option value";
 * the boolean types (twOnOffTS, twYesNoTS, twTrueFalseTS) take no value:
 * "+db.option" sets the true value and "-db.option" the false one.
 * Arguments naming no known database or option stay in the vector for the
 * application.
 *
 * Values from the different sources take precedence as follows: the
 * command line and the program (twPrefSetval) beat any ini line; a line
 * naming the database beats a global line whatever their order; among
 * lines of one kind the last one read wins. An ini file is read at most
 * once per process; its values are applied again at each twPrefParse.
 *
 * Refusals are exceptions (twlib/err/except.h). A command-line value
 * refused by its type raises the type's own refusal (twlib/pref/types.h).
 * Ini files read by twPrefParse raise 1501 (tag TW_EX_POSTCOND, no
 * arguments, location "<ini name>, line <n>") with the cause behind it: the
 * type's refusal of a database line's value, 1503 (a quoted value without
 * its closing double quote) or 1504 (something other than blanks between
 * the closing quote and "|" or the end of the line); the values before the
 * refused one are applied. A global line's value that a database's type
 * refuses is passed over quietly for that database.
 */
#ifndef TWLIB_PREF_OPTIONS_H
#define TWLIB_PREF_OPTIONS_H

#include "twlib/pref/pref.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Derives the shorthand (below) from argv[0]; takes the options of the
 * registered databases off the command line ('argc' drops by what was
 * taken); when iniName is given reads that ini file (without a directory
 * part it is completed with "ini" and searched for with tsGetini); then
 * applies every ini file read so far. Returns 1; 0 when iniName was given
 * and could not be opened (the rest is done all the same). 'argc' and
 * 'argv' may be null (no command line). */
int twPrefParse(const char *iniName, int *argc, char **argv);

/* Makes 'name' (cut to 80 characters) the shorthand database, returning 0;
 * null turns the shorthand off for good, returning 1. Without a call, the
 * first twPrefParse or twPrefUsage given a program name makes it the name
 * part of argv[0] (no directory, no extension). */
int twPrefSetShorthand(const char *name);

/* The generic scanner. For each argument from argv[1] on that begins with
 * "-" or "+", calls handler(argument, next argument or null, arg), which
 * answers 1 (it took the argument), 2 (it took the argument and the next
 * one), 3 (not its argument: go on) or anything else (stop). Taken
 * arguments leave the vector (the rest moves forward, argc drops and
 * argv[argc] becomes null). Returns how many were taken. The handler may
 * raise: the vector then holds what was not taken so far. */
typedef int (*twCmdHandlerFn)(const char *argument, const char *next, void *arg);
int twCmdParse1(int *argc, char **argv, twCmdHandlerFn handler, void *arg);

/* When one of argv[1..argc-1] is exactly "-usage", "-?" or "-help", prints
 * "Options for <program>" and an entry for every user option of every
 * database on standard output (name, type, current value and help text)
 * and returns 1; else prints nothing and returns 0. */
int twPrefUsage(int argc, char **argv);

/* A simple scanner without databases. Each argument from argv[1] on that
 * begins with "-" is looked up (twStrIndex: the lower-cased word, exactly or
 * as the abbreviation of a single entry) first in valueNames, whose match
 * takes the next argument as values[index], then in flagNames, whose match
 * sets flags[index] to 1; one that matches neither, or a value name with
 * no argument after it, ends the scan. Other arguments are passed over.
 * The taken arguments are moved behind the others, in order, and argc
 * drops by their number, which is returned. Null tables count as empty. */
int twCmdParse(int *argc, char **argv, const char *const *valueNames, int valueCount, const char **values,
               const char *const *flagNames, int flagCount, int *flags);

/* Finds the first argument (argv[0] included) equal to 'name' ignoring
 * case; with withValue it must have an argument after it. It (and with
 * withValue the argument after it) leaves the vector, argc drops and
 * argv[argc] becomes null. Returns the found argument, or with withValue
 * the one after it; null when not found (nothing changes). */
char *twCmdFlag(int *argc, char **argv, const char *name, int withValue);

/* ---- for the wiring: the preferences of the error and signal layers ---- */

/* twErrInit's part: makes the database "err" (twErrPrefV, released at
 * exit), declares its ten preferences and sets them from the arguments. */
void twPref_ErrInit(int *argc, char **argv);
/* twErrGetPrefs: reads the "err" preferences into the report settings and
 * the error log; nothing before twPref_ErrInit. */
void twPref_ErrGetPrefs(void);
/* twExInit's part: "catch_signals" of a temporary database "ex", set from
 * the arguments and the ini file of the product "lumenpane"; 1 for Yes. */
int twPref_ExCatchSignals(int *argc, char **argv);
/* The error log's count of older logs to keep: "keep_logfiles" once the
 * "err" database exists, else 1. */
int twPref_ErrKeepLogs(void);

#ifdef __cplusplus
}
#endif

#endif
