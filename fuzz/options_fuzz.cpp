/* options_fuzz.cpp - arbitrary ini files and command lines into a database
 * of a few typed options.
 *
 * The input up to the first zero byte is an ini file, the rest a command
 * line (words split at blanks and newlines). The file is read both by
 * twPrefParse (quotes, the ini registry, precedence) and by
 * twPrefReadIniFile; then the database is written out to an ini file and
 * read back. Every refusal must come as an exception, which is caught here
 * and dropped; the run must leave nothing pending and, once the database is
 * released, nothing allocated (the sanitizer's leak check).
 */
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twlib/err/except.h"
#include "twlib/pref/inifile.h"
#include "twlib/pref/options.h"

namespace {

const char *modeNames[] = {"draft", "final", "fancy"};
twTypeSpec *modeSpec;
std::string scratch;
long runs;

void declare(twPrefDB *db)
{
    twTypedata zero = twTypeLongToTypedata(0), none = twTypePtrToTypedata(nullptr);
    twPrefAdd(db, "width", &twIntTS, "", &zero);
    twPrefAdd(db, "ratio", &twFloatTS, "", &none);
    twPrefAdd(db, "title", &twStringTS, "", &none);
    twPrefAdd(db, "wrap", &twOnOffTS, "", &zero);
    twPrefAdd(db, "mode", modeSpec, "", &zero);
    twPrefAdd(db, "big", &twInt64TS, "", &none);
    twPrefAdd(db, "words", &twStrArrayTS, "", &none);
}

// Runs 'f' under a frame that drops whatever it raises.
template <typename F>
void quietly(F f)
{
    TW_TRY(TW_EX_ALL) {
        f();
    } TW_CATCH {
        TW_EX_SWALLOW();
    } TW_END_TRY;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!modeSpec) {
        modeSpec = twTypeCreateEnum("modeVT", modeNames, 3);
        char dir[] = "/tmp/options_fuzzXXXXXX";
        if (!mkdtemp(dir)) abort();
        scratch = dir;
        twPrefSetShorthand("fz");
    }
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *zero = static_cast<const char *>(memchr(bytes, 0, size));
    size_t iniSize = zero ? static_cast<size_t>(zero - bytes) : size;
    std::string command = zero ? std::string(zero + 1, size - iniSize - 1) : std::string();

    // twPrefParse reads a file once per process: every run has its own.
    std::string ini = scratch + "/in" + std::to_string(++runs) + ".ini";
    std::string out = scratch + "/out.ini";
    FILE *f = fopen(ini.c_str(), "wb");
    if (!f) abort();
    fwrite(bytes, 1, iniSize, f);
    fclose(f);

    std::vector<std::string> words = {"fz"};
    size_t start = 0;
    while (start <= command.size()) {
        size_t end = command.find_first_of(" \n", start);
        if (end == std::string::npos) end = command.size();
        if (end > start) words.push_back(command.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());

    twPrefDB *db = twPrefCreate("fz");
    declare(db);
    quietly([&] { twPrefParse(ini.c_str(), &argc, argv.data()); });
    if (argc < 1 || argv[argc] != nullptr) abort();
    quietly([&] { twPrefReadIniFile(db, ini.c_str(), nullptr, nullptr); });
    quietly([&] { twPrefWriteIniFile(db, out.c_str(), 1); });
    quietly([&] { twPrefReadIniFile(db, out.c_str(), nullptr, nullptr); });
    if (twExErrV) abort();
    twPrefDestroy(db);
    remove(ini.c_str());
    remove(out.c_str());
    remove((out + ".tmp").c_str());
    return 0;
}
