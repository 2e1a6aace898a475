/* banner.cpp - the version banner.
 *
 * The product line is made from the revision-control date of the release:
 * its first four digits are the build year, which also closes the
 * copyright; month, day and the year's last two digits make the build date
 * in parentheses.
 */
#include "twlib/err/banner.h"

#include <cstdio>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/text/sprintf.h"
#include "twlib/text/str.h"

const char *twCurrentVersionV = "532";
char *twCurrentBannerV = nullptr;
char *twCurrentNameV = nullptr;

namespace {

constexpr const char *kProduct = "Lumenpane";
constexpr const char *kMajor = "5";
constexpr const char *kMinor = "3";
constexpr const char *kPatch = "2";
constexpr const char *kDate = "$Date: 1995/05/25 15:59:36 $";
// The year the library began: the copyright runs from it to the build year.
constexpr const char *kFirstYear = "1990";
constexpr const char *kMaker = "Tarnwerks";

bool releaseAdded;  // the exit handlers for the recorded copies are registered

// Year "1995" and date "052595" from the date string, whose text from its
// first digit on reads "YYYY/MM/DD".
void buildDate(char year[5], char date[7])
{
    const char *d = kDate;
    while (*d && (*d < '0' || *d > '9')) ++d;
    static_assert(sizeof "1995/05/25" == 11);
    if (strlen(d) < 10) {
        memcpy(year, "0000", 5);
        memcpy(date, "000000", 7);
        return;
    }
    memcpy(year, d, 4);
    year[4] = '\0';
    const char parts[6] = {d[5], d[6], d[8], d[9], d[2], d[3]};
    memcpy(date, parts, 6);
    date[6] = '\0';
}

// Exit handler: 'arg' is the address of one of the two recorded copies.
void releaseRecorded(void *arg)
{
    char **copy = static_cast<char **>(arg);
    twStrFree(*copy);
    *copy = nullptr;
    releaseAdded = false;
}

void record(const char *text, const char *name)
{
    if (!releaseAdded) {
        twOnExitAdd(releaseRecorded, &twCurrentBannerV);
        twOnExitAdd(releaseRecorded, &twCurrentNameV);
        releaseAdded = true;
    }
    char *banner = twStrCpy(text);
    char *copy = twStrCpy(name);
    twStrFree(twCurrentBannerV);
    twStrFree(twCurrentNameV);
    twCurrentBannerV = banner;
    twCurrentNameV = copy;
}

}  // namespace

char *twBannerStrWV(char *buf)
{
    if (!buf) return nullptr;
    char year[5], date[7], patch[16] = "";
    buildDate(year, date);
    if (strcmp(kPatch, "0") != 0) snprintf(patch, sizeof patch, ".%s", kPatch);
    twSprintf(buf, TW_BANNER_SIZE, "%s %s.%s%s (%s)\nCopyright (c) %s-%s %s. All rights reserved.\n",
              kProduct, kMajor, kMinor, patch, date, kFirstYear, year, kMaker);
    return buf;
}

char *twBannerStr(char *buf, const char *name, const char *version)
{
    if (!buf) return nullptr;
    if (!name) name = "";
    if (!version) version = "";
    char library[TW_BANNER_SIZE];
    twBannerStrWV(library);
    twSprintf(buf, TW_BANNER_SIZE, "%s - V%s; %s", name, version, library);
    record(buf, name);
    return buf;
}

void twBanner(const char *name, const char *version)
{
    char buf[TW_BANNER_SIZE];
    twBannerStr(buf, name, version);
    fputs(buf, stdout);
    fflush(stdout);
}
