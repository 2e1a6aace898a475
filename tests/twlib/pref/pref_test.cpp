/* pref_test.cpp - preference databases: registry, options, sources, walks. */
#include "twlib/pref/pref.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/oom_sweep.h"
#include "support/raised.h"
#include "twlib/text/str.h"

namespace {

using twtest::Raised;
using twtest::raised;

twTypedata num(long v)
{
    return twTypeLongToTypedata(v);
}

twTypedata str(const char *s)
{
    return twTypePtrToTypedata(const_cast<char *>(s));
}

TEST(PrefTest, CreateSharesOneDatabasePerNameIgnoringCase)
{
    twPrefDB *a = twPrefCreate("Edit");
    twPrefDB *b = twPrefCreate("EDIT");
    EXPECT_EQ(a, b);
    EXPECT_EQ(2u, a->refCount);
    EXPECT_STREQ("Edit", a->name);
    EXPECT_STREQ("edit", a->key);
    twPrefDestroy(b);
    EXPECT_EQ(a, twPref_Find(0, "edit")) << "one holder is left";
    twPrefDestroy(a);
    EXPECT_EQ(nullptr, twPref_Find(0, "edit"));
    twPrefDestroy(nullptr);
}

TEST(PrefTest, DuplicateAndUnknownNamesAreRefusedWithTheirNumbers)
{
    twPrefDB *db = twPrefCreate("Dup");
    twTypedata d = num(80);
    twPrefAdd(db, "Width", &twIntTS, "the width", &d);
    twTypedata other = num(3);
    Raised r = raised([&] { twPrefAdd(db, "width", &twIntTS, "again", &other); });
    EXPECT_EQ(1502, r.number);
    EXPECT_EQ(static_cast<uint32_t>(TW_EX_PRECOND), r.tag);
    EXPECT_NE(std::string::npos, r.location.find("twPrefAdd")) << r.location;
    EXPECT_EQ(80, twPrefVal(db, "WIDTH").l) << "the refused declaration changed nothing";

    r = raised([&] { twPrefVal(db, "xyz"); });
    EXPECT_EQ(1500, r.number);
    EXPECT_NE(std::string::npos, r.location.find("twPref()")) << r.location;
    for (auto call :
         {+[](twPrefDB *p) { twPrefSetval(p, "nosuch", nullptr); },
          +[](twPrefDB *p) { twPrefRevert(p, "nosuch"); }, +[](twPrefDB *p) { twPrefChanged(p, "nosuch"); },
          +[](twPrefDB *p) { twPrefCompatible(p, "nosuch", 0); }})
        EXPECT_EQ(1500, raised([&] { call(db); }).number);
    twPrefDestroy(db);
}

TEST(PrefTest, SetvalCopiesRevertReturnsTheDefaultWordItself)
{
    twPrefDB *db = twPrefCreate("Strings");
    char given[] = "plain";
    twTypedata d = str(given);
    twPrefAdd(db, "Font", &twStringTS, nullptr, &d);
    twTypedata def = twPrefDefault(db, "font");
    EXPECT_NE(static_cast<void *>(given), def.p) << "the default is the option's own copy";
    EXPECT_EQ(def.p, twPrefVal(db, "font").p);
    EXPECT_EQ(0, twPrefChanged(db, "font"));

    char mine[] = "bold";
    twTypedata v = str(mine);
    twPrefSetval(db, "font", &v);
    mine[0] = 'X';
    EXPECT_STREQ("bold", static_cast<char *>(twPrefVal(db, "font").p)) << "the caller keeps its own";
    EXPECT_EQ(1, twPrefChanged(db, "font"));
    twPrefSetval(db, "font", &v);  // releases the earlier assigned value
    EXPECT_STREQ("Xold", static_cast<char *>(twPrefVal(db, "font").p));

    twPrefRevert(db, "font");
    EXPECT_EQ(def.p, twPrefVal(db, "font").p);
    EXPECT_EQ(0, twPrefChanged(db, "font"));
    twPrefRevert(db, "font");  // nothing to do
    EXPECT_EQ(&twStringTS, twPrefTypespec(db, "FONT"));
    twPrefDestroy(db);
}

TEST(PrefTest, ReplaceReleasesTheOldOptionAndTellsWhetherThereWasOne)
{
    twPrefDB *db = twPrefCreate("Repl");
    twTypedata d = num(1);
    EXPECT_EQ(0, twPrefReplace(db, "Level", &twIntTS, "h", &d));
    twTypedata s = str("ten");
    EXPECT_EQ(1, twPrefReplace(db, "level", &twStringTS, "h", &s));
    EXPECT_STREQ("ten", static_cast<char *>(twPrefVal(db, "level").p));
    EXPECT_EQ(&twStringTS, twPrefTypespec(db, "level"));
    twPrefDestroy(db);
}

struct Visit {
    std::vector<std::string> names;
    std::vector<std::string> helps;
    int stopAfter = 1000;
};

int record(void *arg, twPrefDB *, const char *, const char *optionName, const char *helpText, twTypeSpec *,
           twTypedata *, twTypedata *, int)
{
    auto *v = static_cast<Visit *>(arg);
    v->names.push_back(optionName);
    v->helps.push_back(helpText);
    return static_cast<int>(v->names.size()) < v->stopAfter;
}

TEST(PrefTest, WalksFollowDeclarationOrderUntilAlphabetised)
{
    twPrefDB *db = twPrefCreate("Walk");
    twTypedata d = num(0);
    twPrefAdd(db, "B", &twIntTS, "bee", &d);
    twPrefAdd(db, "a", &twIntTS, "~~hidden", &d);
    twPrefAdd(db, "C", &twIntTS, nullptr, &d);
    Visit all;
    EXPECT_EQ(1, twPrefForEachOption(db, record, &all));
    EXPECT_EQ((std::vector<std::string>{"B", "a", "C"}), all.names);
    EXPECT_EQ("", all.helps[2]) << "no help text reads as empty";
    Visit user;
    twPrefForEachUserOption(db, record, &user);
    EXPECT_EQ((std::vector<std::string>{"B", "C"}), user.names);

    twPrefAlphabetize(db);
    Visit sorted;
    twPrefForEachOption(db, record, &sorted);
    EXPECT_EQ((std::vector<std::string>{"a", "B", "C"}), sorted.names);

    Visit stopped;
    stopped.stopAfter = 1;
    EXPECT_EQ(0, twPrefForEachOption(db, record, &stopped));
    EXPECT_EQ(1u, stopped.names.size());
    twPrefDestroy(db);
}

int raiseInWalk(void *, twPrefDB *, const char *, const char *, const char *, twTypeSpec *, twTypedata *,
                twTypedata *, int)
{
    twExThrow2(TW_EX_USER1, "test", 0, "stop");
}

TEST(PrefTest, AWalkLeftByARaiseKeepsTheDatabaseUsable)
{
    twPrefDB *db = twPrefCreate("RaiseWalk");
    twTypedata d = num(5);
    twPrefAdd(db, "one", &twIntTS, "", &d);
    EXPECT_EQ(static_cast<uint32_t>(TW_EX_USER1),
              raised([&] { twPrefForEachOption(db, raiseInWalk, nullptr); }).tag);
    EXPECT_EQ(5, twPrefVal(db, "one").l);
    twPrefDestroy(db);
}

int created, destroyed;
void onCreate(twTypedata *def, twTypedata *)
{
    ++created;
    def->l = 42;
}
void onDestroy(twTypedata *, twTypedata *)
{
    ++destroyed;
}

TEST(PrefTest, SpecialTypeHooksSeeEveryOptionOfTheirSpecification)
{
    twTypeSpec *spec = twTypeCreateEnum("specialVT", nullptr, 0);
    twPrefRegisterSpecialTs(spec, onCreate, nullptr);
    twPrefRegisterSpecialTs(spec, onCreate, onDestroy);  // replaces the first pair
    twPrefDB *db = twPrefCreate("Special");
    twTypedata d = num(0);
    twPrefAdd(db, "x", spec, "", &d);
    twPrefAdd(db, "y", &twIntTS, "", &d);
    EXPECT_EQ(1, created);
    EXPECT_EQ(42, twPrefDefault(db, "x").l);
    EXPECT_EQ(0, twPrefVal(db, "x").l) << "the value word was taken before the hook ran";
    twPrefDestroy(db);
    EXPECT_EQ(1, destroyed);
    twTypeTSFree(spec);
}

TEST(PrefTest, CompatibleBitAndThePrefTypePrintTheDatabase)
{
    twPrefDB *db = twPrefCreate("Compat");
    twTypedata d = num(0);
    twPrefAdd(db, "x", &twIntTS, "", &d);
    twPrefOption *o = twPref_FindOption(db, "x");
    EXPECT_EQ(TW_PREF_COMPATIBLE, o->flags);
    twPrefCompatible(db, "X", 2);
    EXPECT_EQ(0, o->flags & TW_PREF_COMPATIBLE);
    twPrefCompatible(db, "X", 1);
    EXPECT_NE(0, o->flags & TW_PREF_COMPATIBLE);

    twStrBuf *buf = twStrBufCreate(16);
    twTypedata v = twTypePtrToTypedata(db);
    twTypeAppendText(&twPrefTS, &v, buf);
    EXPECT_STREQ("compat", twStrBufString(buf));
    twStrBufDestroy(buf);
    twPrefDestroy(db);
}

TEST(PrefTest, DeclaringAndReleasingSurvivesRefusedAllocations)
{
    long n = twtest::sweepAllocationFailures([] {
        twPrefDB *db = twPrefCreate("Sweep");
        twTypedata s = str("default text");
        twPrefAdd(db, "name", &twStringTS, "help", &s);
        twTypedata v = str("other");
        twPrefSetval(db, "name", &v);
        twTypedata d = num(1);
        twPrefReplace(db, "count", &twIntTS, "", &d);
        twPrefAlphabetize(db);
        twPrefDestroy(db);
    });
    EXPECT_GT(n, 0);
}

}  // namespace
