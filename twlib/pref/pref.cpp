/* pref.cpp - preference databases and their registry.
 *
 * Two registries share one shape: the databases of the program, and the
 * ini registry that the option parser fills with the raw text of ini lines
 * before applying it. Both map a lower-cased name (the database's own key
 * string, borrowed) to its record; an option table maps an option's key
 * (borrowed from the option) to the option. The special-type table lives
 * while either registry does.
 *
 * Records come from the free lists, names from the string pool. No frame
 * here holds a C++ object with a destructor: the walks call out with only
 * a tagged array held, and an unwind record gives it back on a raise.
 */
#include "twlib/pref/pref.h"

#include <algorithm>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/fault.h"
#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/err/msgfile.h"
#include "twlib/text/str.h"

namespace {

struct SpecialHandler {
    twPrefSpecialFn onCreate;
    twPrefSpecialFn onDestroy;
};

// [0] the program's databases, [1] the ini registry.
twSymTable *registries[2];
// Keyed by a specification's name (kept copies), values SpecialHandler
// blocks; destroyed with the last registry.
twSymTable *specialTypes;
// Creation order of options, process-wide; only grows.
int32_t sequenceCounter;

twMsgFileHandle *catalogue()
{
    return twEx_LibraryMessageFile("twlib");
}

char *lowerCopy(const char *s)
{
    char *copy = twStrCpy(s ? s : "");
    if (copy[0]) twStrLoc(copy);
    return copy;
}

const twTypeBehaviour *behaviourOf(const twTypeSpec *spec)
{
    return spec ? spec->behaviour : nullptr;
}

bool ownsStorage(const twTypeSpec *spec)
{
    const twTypeBehaviour *b = behaviourOf(spec);
    return b && b->storage == TW_TYPE_STORAGE;
}

void releaseValue(const twTypeSpec *spec, twTypedata value)
{
    if (ownsStorage(spec) && value.p) twTypeFreeValue(spec, value);
}

void releaseOption(twPrefOption *o)
{
    if (specialTypes && o->spec && o->spec->name) {
        auto *h = static_cast<SpecialHandler *>(twSymFetch(specialTypes, o->spec->name));
        if (h && h->onDestroy) h->onDestroy(&o->defaultValue, &o->value);
    }
    releaseValue(o->spec, o->defaultValue);
    if (o->flags & TW_PREF_CHANGED) releaseValue(o->spec, o->value);
    twTypeTSFree(o->spec);
    if (!o->helpFile) twStrFree(o->help.text);
    twStrFree(o->key);
    twStrFree(o->name);
    twStrFree(o->source);
    twMemFlFree(o, sizeof *o);
}

void releaseOptionWord(void *word)
{
    releaseOption(static_cast<twPrefOption *>(word));
}

void releaseDatabase(twPrefDB *db)
{
    twSymDestroy(db->options, releaseOptionWord);
    twStrFree(db->key);
    twStrFree(db->name);
    twMemFlFree(db, sizeof *db);
}

void releaseDatabaseWord(void *word)
{
    releaseDatabase(static_cast<twPrefDB *>(word));
}

void releaseHandlerWord(void *word)
{
    twMemFree(word);
}

void destroyRegistry(void *which)
{
    int i = which ? 1 : 0;
    twSymTable *t = registries[i];
    if (!t) return;
    registries[i] = nullptr;
    twSymDestroy(t, releaseDatabaseWord);
    if (!registries[0] && !registries[1] && specialTypes) {
        twSymDestroy(specialTypes, releaseHandlerWord);
        specialTypes = nullptr;
    }
}

twSymTable *registry(int ini)
{
    twSymTable *&t = registries[ini ? 1 : 0];
    if (!t) {
        t = twSymCreate(11, twSymStHash, twSymStEqu, twSymReturn, twSymDummy);
        // The argument tells the two registries apart at exit.
        twOnExitAdd(destroyRegistry, ini ? &registries[1] : nullptr);
        twOnExitSetOrder(destroyRegistry, 85);
    }
    return t;
}

twPrefDB *createIn(int ini, const char *name)
{
    twSymTable *t = registry(ini);
    char *key = lowerCopy(name);
    auto *db = static_cast<twPrefDB *>(twSymFetch(t, key));
    if (db) {
        twStrFree(key);
        db->refCount++;
        return db;
    }
    db = static_cast<twPrefDB *>(twMemFlAlloc(sizeof *db, "twPrefDB"));
    db->key = key;
    db->name = twStrCpy(name ? name : "");
    db->refCount = 1;
    db->options = twSymCreate(31, twSymStHash, twSymStEqu, twSymReturn, twSymDummy);
    twSymStore(t, db->key, db);
    return db;
}

// Raises 1500 for 'name' in 'db'.
TW_NORETURN void unknownOption(const twPrefDB *db, const char *name)
{
    bool keyed = db && db->key && db->key[0];
    twEx_PreCond("twPref", catalogue(), 1500, keyed ? db->key : "", keyed ? "." : "", name ? name : "");
}

// The option of 'name' (any case), or a raise of 1500.
twPrefOption *optionOf(const twPrefDB *db, const char *name)
{
    twPrefOption *o = nullptr;
    if (db && name) {
        char *key = lowerCopy(name);
        o = static_cast<twPrefOption *>(twSymFetch(db->options, key));
        twStrFree(key);
    }
    if (!o) unknownOption(db, name);
    return o;
}

twPrefOption *newOption(const char *name, twTypeSpec *spec, const twTypedata *defaultValue)
{
    auto *o = static_cast<twPrefOption *>(twMemFlAlloc(sizeof(twPrefOption), "twPrefOption"));
    memset(o, 0, sizeof *o);
    o->spec = twTypeTSCopy(spec);
    o->key = lowerCopy(name);
    o->name = twStrCpy(name ? name : "");
    twTypedata given = defaultValue ? *defaultValue : twTypePtrToTypedata(nullptr);
    o->defaultValue = ownsStorage(spec) && given.p ? twTypeCopyValue(spec, given) : given;
    o->value = o->defaultValue;
    if (specialTypes && spec && spec->name) {
        auto *h = static_cast<SpecialHandler *>(twSymFetch(specialTypes, spec->name));
        if (h && h->onCreate) h->onCreate(&o->defaultValue, &o->value);
    }
    o->flags = TW_PREF_COMPATIBLE;
    o->sequence = sequenceCounter++;
    return o;
}

// Stores the new option; a duplicate is refused (add) or released (replace).
int install(twPrefDB *db, twPrefOption *o, bool replace)
{
    auto *old = static_cast<twPrefOption *>(twSymFetch(db->options, o->key));
    if (old && !replace) {
        releaseOption(o);
        twEx_PreCond("twPrefAdd", catalogue(), 1502, db->name, old->name);
    }
    twSymStore(db->options, o->key, o);
    if (old) releaseOption(old);
    return old ? 1 : 0;
}

int declare(twPrefDB *db, const char *name, twTypeSpec *spec, const char *helpText, twMsgFileHandle *helpFile,
            int helpNumber, const twTypedata *defaultValue, bool replace)
{
    if (!db) unknownOption(db, name);
    twPrefOption *o = newOption(name, spec, defaultValue);
    o->helpFile = helpFile;
    if (helpFile)
        o->help.number = helpNumber;
    else
        o->help.text = twStrCpy(helpText ? helpText : "");
    return install(db, o, replace);
}

bool bySequence(const twPrefOption *a, const twPrefOption *b)
{
    return a->sequence < b->sequence;
}

bool byKey(const twPrefOption *a, const twPrefOption *b)
{
    return strcmp(a->key, b->key) < 0;
}

void releaseArray(void *array)
{
    twMemFree(array);
}

int walkDatabase(twPrefDB *db, twPrefWalkFn fn, void *arg, bool userOnly)
{
    int count = 0;
    twPrefOption **options = twPref_Options(db, &count);
    twUnwind u;
    tw_UnwindPush(&u, releaseArray, options);
    int result = 1;
    for (int i = 0; i < count; ++i) {
        twPrefOption *o = options[i];
        const char *help = twPref_HelpText(o);
        if (userOnly && help[0] == '~' && help[1] == '~') continue;
        if (!fn(arg, db, db->name, o->name, help, o->spec, &o->value, &o->defaultValue,
                (o->flags & TW_PREF_CHANGED) ? 1 : 0)) {
            result = 0;
            break;
        }
    }
    tw_UnwindPop(&u);
    twMemFree(options);
    return result;
}

int walk(twPrefDB *db, twPrefWalkFn fn, void *arg, bool userOnly)
{
    if (!fn) return 1;
    if (db) return walkDatabase(db, fn, arg, userOnly);
    if (!registries[0]) return 1;
    int count = 0;
    twPrefDB **dbs = twPref_Databases(0, &count);
    twUnwind u;
    tw_UnwindPush(&u, releaseArray, dbs);
    int result = 1;
    for (int i = 0; i < count; ++i) result = walkDatabase(dbs[i], fn, arg, userOnly);
    tw_UnwindPop(&u);
    twMemFree(dbs);
    return result;
}

const char *databaseText(void *value)
{
    return value ? static_cast<twPrefDB *>(value)->key : "";
}

void *sameDatabase(void *value)
{
    return value;
}

void keepDatabase(void *) {}

const twTypePointerParams prefParams = {databaseText, sameDatabase, keepDatabase};

}  // namespace

twTypeSpec twPrefTS = {"twPrefVT", &twPointerNoAllocTB, const_cast<twTypePointerParams *>(&prefParams), 1};

/* ---- databases ---- */

twPrefDB *twPrefCreate(const char *name)
{
    return createIn(0, name);
}

void twPrefDestroy(twPrefDB *db)
{
    if (!db || !registries[0] || db->refCount == 0) return;
    if (--db->refCount > 0) return;
    for (int i = 0; i < 2; ++i)
        if (registries[i] && twSymFetch(registries[i], db->key) == db) twSymRemove(registries[i], db->key);
    releaseDatabase(db);
}

void twPref_DestroyAtExit(void *db)
{
    twPrefDestroy(static_cast<twPrefDB *>(db));
}

/* ---- declaring options ---- */

void twPrefAdd(twPrefDB *db, const char *name, twTypeSpec *spec, const char *helpText,
               const twTypedata *defaultValue)
{
    declare(db, name, spec, helpText, nullptr, 0, defaultValue, false);
}

int twPrefReplace(twPrefDB *db, const char *name, twTypeSpec *spec, const char *helpText,
                  const twTypedata *defaultValue)
{
    return declare(db, name, spec, helpText, nullptr, 0, defaultValue, true);
}

void twPrefAdd2(twPrefDB *db, const char *name, twTypeSpec *spec, twMsgFileHandle *helpFile, int helpNumber,
                const twTypedata *defaultValue)
{
    declare(db, name, spec, helpFile ? nullptr : "", helpFile, helpNumber, defaultValue, false);
}

int twPrefReplace2(twPrefDB *db, const char *name, twTypeSpec *spec, twMsgFileHandle *helpFile,
                   int helpNumber, const twTypedata *defaultValue)
{
    return declare(db, name, spec, helpFile ? nullptr : "", helpFile, helpNumber, defaultValue, true);
}

/* ---- per option ---- */

twTypedata twPrefVal(twPrefDB *db, const char *name)
{
    return optionOf(db, name)->value;
}

twTypedata twPrefDefault(twPrefDB *db, const char *name)
{
    return optionOf(db, name)->defaultValue;
}

twTypeSpec *twPrefTypespec(twPrefDB *db, const char *name)
{
    return optionOf(db, name)->spec;
}

int twPrefChanged(twPrefDB *db, const char *name)
{
    return (optionOf(db, name)->flags & TW_PREF_CHANGED) ? 1 : 0;
}

void twPrefSetval(twPrefDB *db, const char *name, const twTypedata *value)
{
    twPrefOption *o = optionOf(db, name);
    twTypedata given = value ? *value : twTypePtrToTypedata(nullptr);
    twTypedata copy = ownsStorage(o->spec) && given.p ? twTypeCopyValue(o->spec, given) : given;
    twPref_Assign(o, copy, TW_PREF_BY_PROGRAM, 0);
}

void twPrefRevert(twPrefDB *db, const char *name)
{
    twPrefOption *o = optionOf(db, name);
    if (!(o->flags & TW_PREF_CHANGED)) return;
    releaseValue(o->spec, o->value);
    o->value = o->defaultValue;
    o->flags &= static_cast<uint8_t>(~(TW_PREF_CHANGED | TW_PREF_BY_PROGRAM));
}

void twPrefCompatible(twPrefDB *db, const char *name, int compatible)
{
    twPrefOption *o = optionOf(db, name);
    if (compatible & 1)
        o->flags |= TW_PREF_COMPATIBLE;
    else
        o->flags &= static_cast<uint8_t>(~TW_PREF_COMPATIBLE);
}

/* ---- special types ---- */

void twPrefRegisterSpecialTs(const twTypeSpec *spec, twPrefSpecialFn onCreate, twPrefSpecialFn onDestroy)
{
    if (!spec || !spec->name) return;
    if (!specialTypes) specialTypes = twSymCreate(7, twSymStHash, twSymStEqu, twSymStCpy, twSymStFree);
    auto *h = static_cast<SpecialHandler *>(twMemMalloc(sizeof(SpecialHandler), "TsHandlerT"));
    h->onCreate = onCreate;
    h->onDestroy = onDestroy;
    void *old = twSymStore(specialTypes, spec->name, h);
    if (old) twMemFree(old);
}

/* ---- walks ---- */

int twPrefForEachOption(twPrefDB *db, twPrefWalkFn fn, void *arg)
{
    return walk(db, fn, arg, false);
}

int twPrefForEachUserOption(twPrefDB *db, twPrefWalkFn fn, void *arg)
{
    return walk(db, fn, arg, true);
}

void twPrefAlphabetize(twPrefDB *db)
{
    if (!db) return;
    int count = 0;
    twPrefOption **options = twPref_Options(db, &count);
    std::sort(options, options + count, byKey);
    for (int i = 0; i < count; ++i) options[i]->sequence = i;
    twMemFree(options);
}

/* ---- for the option parser ---- */

twPrefDB *twPref_Find(int ini, const char *key)
{
    twSymTable *t = registries[ini ? 1 : 0];
    return t && key ? static_cast<twPrefDB *>(twSymFetch(t, key)) : nullptr;
}

twPrefDB *twPref_IniCreate(const char *name)
{
    return createIn(1, name);
}

int twPref_RegistryExists(int ini)
{
    return registries[ini ? 1 : 0] ? 1 : 0;
}

twPrefOption *twPref_FindOption(const twPrefDB *db, const char *key)
{
    return db && key ? static_cast<twPrefOption *>(twSymFetch(db->options, key)) : nullptr;
}

twPrefDB **twPref_Databases(int ini, int *count)
{
    twSymTable *t = registries[ini ? 1 : 0];
    void **all;
    if (t) {
        all = twSymTableToArray(t, nullptr, nullptr);
    } else {
        all = static_cast<void **>(twMemMalloc(sizeof(void *), "twSymArray"));
        all[0] = nullptr;
    }
    if (count) *count = t ? static_cast<int>(twSymSize(t)) : 0;
    return reinterpret_cast<twPrefDB **>(all);
}

twPrefOption **twPref_Options(const twPrefDB *db, int *count)
{
    auto **all = reinterpret_cast<twPrefOption **>(twSymTableToArray(db->options, nullptr, nullptr));
    int n = static_cast<int>(twSymSize(db->options));
    std::sort(all, all + n, bySequence);
    if (count) *count = n;
    return all;
}

const char *twPref_HelpText(const twPrefOption *option)
{
    if (!option->helpFile) return option->help.text ? option->help.text : "";
    const char *text = twMsgStatic(option->helpFile, static_cast<int>(option->help.number));
    return text ? text : "";
}

void twPref_Assign(twPrefOption *option, twTypedata value, int setFlags, int clearFlags)
{
    if (option->flags & TW_PREF_CHANGED) releaseValue(option->spec, option->value);
    option->value = value;
    option->flags &= static_cast<uint8_t>(~clearFlags);
    option->flags |= static_cast<uint8_t>(TW_PREF_CHANGED | setFlags);
}
