/* pref.h - preference databases: named sets of typed options.
 *
 * Each database holds options with a name, a type specification
 * (twlib/pref/types.h), a help text, a default and a current value, and
 * remembers where the current value came from (the program, the command
 * line, a database line or a global line of an ini file), so that a later
 * source only overwrites what an earlier one may lose to it. Databases live
 * in one process-wide registry keyed by their lower-cased names; several
 * modules asking for the same name share one database. All look-ups of
 * databases and options ignore case.
 *
 * Refusals are exceptions (twlib/err/except.h, tag TW_EX_PRECOND) built
 * from the library's catalogue "twlib":
 *   1500 per-option operation on an unknown option; one argument (%s), the
 *        database key, "." and the option name as given ("edit.xyz"), or
 *        the name alone when the database has no key; location
 *        "in call to routine twPref()"
 *   1502 twPrefAdd / twPrefAdd2 of a name the database has; two arguments
 *        (%s %s), the database's name and the option's name; location
 *        "in call to routine twPrefAdd()"
 * A refused operation changes nothing.
 *
 * Single-threaded: the registry, the sequence counter and the special-type
 * table are process-wide.
 */
#ifndef TWLIB_PREF_PREF_H
#define TWLIB_PREF_PREF_H

#include "twlib/containers/sym.h"
#include "twlib/core/base.h"
#include "twlib/pref/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct twMsgFileHandle twMsgFileHandle;

/* Flag bits of an option. */
enum {
    TW_PREF_CHANGED = 0x80,     /* the value is assigned (owned apart from the default) */
    TW_PREF_BY_PROGRAM = 0x40,  /* assigned by twPrefSetval */
    TW_PREF_BY_COMMAND = 0x20,  /* assigned from the command line */
    TW_PREF_BY_GLOBAL = 0x10,   /* assigned by a global ini line */
    TW_PREF_BY_DATABASE = 0x08, /* assigned by a database ini line */
    TW_PREF_COMPATIBLE = 0x04,  /* written to ini files without the version mark */
    TW_PREF_WRITTEN_ = 0x01     /* scratch of the ini writer; clear outside it */
};

/* An option. Read its fields through the calls below; the layout is here
 * for the option parser of this layer. */
typedef struct twPrefOption {
    twTypeSpec *spec;          /* one reference held */
    char *key;                 /* pool string: the name lower-cased */
    char *name;                /* pool string: the name as given */
    twMsgFileHandle *helpFile; /* null: helpText is the text */
    char *source;              /* pool string or null: ini file of the value (ini registry) */
    union {
        char *text;  /* pool string, "" when none was given */
        long number; /* message number in helpFile */
    } help;
    int32_t sourceLine;      /* line in 'source' */
    int32_t sequence;        /* creation order; walks follow it */
    twTypedata defaultValue; /* owned by the option */
    twTypedata value;        /* the default word itself while not changed */
    uint8_t flags;           /* TW_PREF_* */
} twPrefOption;

/* A database. */
typedef struct twPrefDB {
    char *key;           /* pool string: the name lower-cased; the registry key */
    char *name;          /* pool string: the name as given at creation */
    uint32_t refCount;   /* twPrefCreate calls not yet matched by twPrefDestroy */
    twSymTable *options; /* option key -> twPrefOption (the option's key is the hash key) */
} twPrefDB;

/* The specification whose values are databases; prints a database as its
 * lower-cased name ("" for null). */
extern twTypeSpec twPrefTS;

/* ---- databases ---- */

/* The database named 'name' (case ignored), made empty with count 1 on the
 * first call for the name, else the existing one with its count raised.
 * Creates the registry on first use (released at exit when exit handlers
 * are recorded). Never null; a null name counts as "". */
twPrefDB *twPrefCreate(const char *name);
/* Lowers the count; at 0 removes the database from the registry and
 * releases it with every option. Null, or no registry, does nothing. */
void twPrefDestroy(twPrefDB *db);

/* ---- declaring options ----
 * 'spec' gets one more reference; the default (read through 'defaultValue',
 * null meaning a null word) is copied for storage behaviours, so the caller
 * keeps its own. A null help text counts as "". */

/* Declares an option; raises 1502 when the database has one of that name
 * (case ignored), nothing changed. */
void twPrefAdd(twPrefDB *db, const char *name, twTypeSpec *spec, const char *helpText,
               const twTypedata *defaultValue);
/* Declares an option, releasing one of that name the database had.
 * Returns 1 when one was replaced, else 0. */
int twPrefReplace(twPrefDB *db, const char *name, twTypeSpec *spec, const char *helpText,
                  const twTypedata *defaultValue);
/* As twPrefAdd and twPrefReplace, the help text being message helpNumber of
 * helpFile (which must outlive the option). */
void twPrefAdd2(twPrefDB *db, const char *name, twTypeSpec *spec, twMsgFileHandle *helpFile, int helpNumber,
                const twTypedata *defaultValue);
int twPrefReplace2(twPrefDB *db, const char *name, twTypeSpec *spec, twMsgFileHandle *helpFile,
                   int helpNumber, const twTypedata *defaultValue);

/* ---- per option (each raises 1500 for an unknown name) ---- */

/* The current value, owned by the option (valid until it changes). */
twTypedata twPrefVal(twPrefDB *db, const char *name);
/* The default, owned by the option. */
twTypedata twPrefDefault(twPrefDB *db, const char *name);
/* The specification (no reference added). */
twTypeSpec *twPrefTypespec(twPrefDB *db, const char *name);
/* 1 when the value is assigned, else 0. */
int twPrefChanged(twPrefDB *db, const char *name);
/* Assigns a copy of the value read through 'value' (the caller keeps its
 * own), releasing an assigned one; marks it changed and set by the
 * program, so that ini files no longer overwrite it. */
void twPrefSetval(twPrefDB *db, const char *name, const twTypedata *value);
/* Back to the default (an assigned value is released); the source marks
 * of the command line and ini files stay. Nothing when not changed. */
void twPrefRevert(twPrefDB *db, const char *name);
/* Sets the compatible mark to the lowest bit of 'compatible'. */
void twPrefCompatible(twPrefDB *db, const char *name, int compatible);

/* ---- special types ---- */

/* Hooks called with (&defaultValue, &value) of every option declared later
 * whose specification bears spec's name: onCreate right after the values
 * are set up, onDestroy first when the option is released. Either may be
 * null. A second registration for the name replaces the first. The hooks
 * must not raise. */
typedef void (*twPrefSpecialFn)(twTypedata *defaultValue, twTypedata *value);
void twPrefRegisterSpecialTs(const twTypeSpec *spec, twPrefSpecialFn onCreate, twPrefSpecialFn onDestroy);

/* ---- walks ---- */

/* Called for each option in ascending sequence; 'helpText' is the message
 * text for options with a help file (valid during the call). Returns 0 to
 * stop the walk of this database. It may read and assign values of the
 * databases but must not declare, replace or release options, nor release
 * databases; it may raise (the walk's scratch is released). */
typedef int (*twPrefWalkFn)(void *arg, twPrefDB *db, const char *dbName, const char *optionName,
                            const char *helpText, twTypeSpec *spec, twTypedata *value,
                            twTypedata *defaultValue, int changed);
/* Walks the database's options, or with null every database of the
 * registry in turn. Returns 1, or 0 when fn stopped the walk of the last
 * database walked. */
int twPrefForEachOption(twPrefDB *db, twPrefWalkFn fn, void *arg);
/* The same, passing over hidden options (help text beginning with "~~"). */
int twPrefForEachUserOption(twPrefDB *db, twPrefWalkFn fn, void *arg);
/* Renumbers the options 0, 1, 2... in byte order of their lower-cased
 * names, so that later walks and the usage list run alphabetically. */
void twPrefAlphabetize(twPrefDB *db);

/* ---- for the option parser of this layer ---- */

/* The database of the lower-cased name 'key' in the registry (ini 0) or the
 * ini registry (ini 1), or null. */
twPrefDB *twPref_Find(int ini, const char *key);
/* twPrefCreate in the ini registry. */
twPrefDB *twPref_IniCreate(const char *name);
/* 1 when the registry (ini 0) or the ini registry (ini 1) exists. */
int twPref_RegistryExists(int ini);
/* The option of the lower-cased name 'key', or null. */
twPrefOption *twPref_FindOption(const twPrefDB *db, const char *key);
/* The databases of a registry in registry order, null-terminated, in a new
 * tagged block the caller releases with twMemFree; *count gets how many. */
twPrefDB **twPref_Databases(int ini, int *count);
/* The options of a database in ascending sequence, null-terminated, in a
 * new tagged block the caller releases with twMemFree; *count gets how
 * many. */
twPrefOption **twPref_Options(const twPrefDB *db, int *count);
/* The option's help text (message text for a help file; valid until the
 * next message-file call). */
const char *twPref_HelpText(const twPrefOption *option);
/* Stores 'value' (already owned by the option: a fresh parse or copy)
 * as the current value, releasing an assigned one, and sets
 * TW_PREF_CHANGED | setFlags after clearing clearFlags. */
void twPref_Assign(twPrefOption *option, twTypedata value, int setFlags, int clearFlags);
/* The exit teardown of a database (twPrefDestroy), order 85. */
void twPref_DestroyAtExit(void *db);

#ifdef __cplusplus
}
#endif

#endif
