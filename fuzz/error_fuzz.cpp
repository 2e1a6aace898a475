/* error_fuzz.cpp - arbitrary bytes read back as error lines and error files.
 *
 * The input is read as an error file (every chain delivered is printed and
 * released), and each of its lines is parsed on its own. A line that parses
 * must print in a form that parses to the same text again: the verbose form
 * is what error logs hold, so reading a log and writing it out again must
 * not change it. Leaks show through the sanitizer's leak check.
 */
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "twlib/err/error.h"
#include "twlib/text/str.h"

namespace {

int printAndRelease(twErr *chain, void *data)
{
    *static_cast<size_t *>(data) += strlen(twErr_String(chain, TW_ERR_VERBOSE));
    twErrDestroy(chain);
    return 1;
}

void checkLine(const std::string &line)
{
    twErr *e = twErrCreateFromString(line.c_str());
    if (!e) return;
    char *once = twStrCpy(twErr_String(e, TW_ERR_VERBOSE));
    (void)twErr_String(e, TW_ERR_TERSE);
    // Where the verbose form cannot tell a field's edge from the text it
    // loses something when read again: a name that begins with "+" (the mark
    // of a chained record) or with white space, a text that begins with
    // white space or a colon and a blank, or ends in a colon and a blank,
    // an empty text. A record of the application "USER_FORMATTED" prints its
    // text alone, by design, so it cannot read back as itself either.
    // Everything else must read back unchanged.
    auto blank = [](char c) { return isspace(static_cast<unsigned char>(c)) != 0; };
    const char *t = e->text;
    size_t n = strlen(t);
    bool lossy = strcmp(e->app, "USER_FORMATTED") == 0 || e->app[0] == '+' || blank(e->app[0]) || !t[0] ||
                 blank(t[0]) || (t[0] == ':' && t[1] == ' ') ||
                 (n >= 2 && t[n - 2] == ':' && t[n - 1] == ' ');
    if (!lossy) {
        twErr *again = twErrCreateFromString(once);
        if (!again || strcmp(once, twErr_String(again, TW_ERR_VERBOSE)) != 0) {
            fprintf(stderr, "line \"%s\" printed \"%s\", which reads back differently\n", line.c_str(), once);
            abort();
        }
        twErrDestroy(again);
    }
    twStrFree(once);
    twErrDestroy(e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    FILE *f = input.empty() ? nullptr : fmemopen(input.data(), input.size(), "r");
    if (f) {
        size_t printed = 0;
        twErrReadErrorFile(f, printAndRelease, &printed);
        fclose(f);
    }
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        checkLine(input.substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
