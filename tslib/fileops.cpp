/* fileops.cpp - file status, existence tests, creation, deletion, renaming,
 * unique names and file-name validity.
 *
 * Creation checks for file systems that silently cut names to 14
 * characters: when the full name is missing after a successful create, the
 * cut twin is removed again and the call fails with 7.
 */
#include "tslib/fileops.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tslib/path.h"

int32_t tcZrFnamesCompatibleV = 0;

namespace {

constexpr size_t kShortNameMax = 14;  // names kept whole by every file system
constexpr size_t kPathMax = TS_PATH_SIZE - 1;

int kindOf(const struct stat &st)
{
    return S_ISDIR(st.st_mode) ? TS_KIND_DIR : TS_KIND_FILE;
}

// Floor division, for calendar arithmetic on years before year 1.
long floorDiv(long a, long b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 0001-01-01 to the first day of 'year' in the Gregorian calendar.
long daysBeforeYear(long year)
{
    long y = year - 1;
    return 365 * y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400);
}

// The path with its last component cut to 14 characters, when that
// component is longer (path is shorter than TS_PATH_SIZE); false otherwise.
bool truncatedTwin(const char *path, char *twin)
{
    const char *slash = std::strrchr(path, '/');
    size_t start = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    if (std::strlen(path + start) <= kShortNameMax) return false;
    std::memcpy(twin, path, start + kShortNameMax);
    twin[start + kShortNameMax] = '\0';
    return true;
}

bool isDirectory(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates a directory; 0 when one exists under the name afterwards, 7 when
// not, -1 for an empty name, 2 for one of 256 characters or more.
int createDir(const char *path)
{
    if (!*path) return -1;
    size_t n = strnlen(path, TS_PATH_SIZE);
    if (n >= TS_PATH_SIZE) return TS_ERR_PATH;
    char name[TS_PATH_SIZE];
    std::memcpy(name, path, n + 1);
    if (n > 1 && name[n - 1] == '/') name[--n] = '\0';
    bool made = mkdir(name, 0777) == 0;
    if (isDirectory(name)) return TS_OK;
    // Only a directory this call made is removed again: an older one with
    // the cut name belongs to somebody else.
    char twin[TS_PATH_SIZE];
    if (made && truncatedTwin(name, twin) && isDirectory(twin)) rmdir(twin);
    return TS_ERR_INVALID;
}

bool validChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '-';
}

int validName(const char *s, size_t shortMax)
{
    if (!s || !*s) return 0;
    size_t n = strnlen(s, kPathMax + 1);
    if (!tcZrFnamesCompatibleV) return n <= kPathMax && !std::strchr(s, '/');
    if (n > shortMax || s[0] == '-') return 0;
    for (const char *p = s; *p; p++)
        if (!validChar(static_cast<unsigned char>(*p))) return 0;
    return 1;
}

int makeValidName(char *s, size_t shortMax)
{
    if (!s || !*s) return TS_ERR_PATH;
    if (!tcZrFnamesCompatibleV) {
        size_t n = strnlen(s, kPathMax);
        s[n] = '\0';
        for (size_t i = 0; i < n; i++)
            if (s[i] == '/') s[i] = '$';
        return TS_OK;
    }
    size_t i = 0;
    for (; s[i] == '-'; i++) s[i] = '$';
    size_t n = strnlen(s, shortMax);
    s[n] = '\0';
    for (i = 0; i < n; i++)
        if (!validChar(static_cast<unsigned char>(s[i]))) s[i] = '$';
    return TS_OK;
}

}  // namespace

long tsLocalSeconds(long platformTime)
{
    time_t t = static_cast<time_t>(platformTime);
    struct tm tm;
    // As localtime would: follow a TZ that changed since the last call.
    tzset();
    if (!localtime_r(&t, &tm)) return platformTime;
    long year = static_cast<long>(tm.tm_year) + 1900;
    long days = daysBeforeYear(year) - daysBeforeYear(1970) + tm.tm_yday;
    return days * 86400L + tm.tm_hour * 3600L + tm.tm_min * 60L + tm.tm_sec;
}

int tsInfo(const char *path, long *time, long *size, int *kind)
{
    struct stat st;
    if (!path || stat(path, &st) != 0) return TS_ERR_NOTFOUND;
    if (time) *time = tsLocalSeconds(static_cast<long>(st.st_mtime));
    if (size) *size = static_cast<long>(st.st_size);
    if (kind) *kind = kindOf(st);
    return TS_OK;
}

int tsExists(const char *path, int kind)
{
    int actual;
    if (tsInfo(path, nullptr, nullptr, &actual) != TS_OK) return TS_ERR_NOTFOUND;
    return kind == TS_KIND_ANY || kind == actual ? TS_OK : TS_ERR_NOTFOUND;
}

int tsExists2(const char *path, int kind, char *out)
{
    int rc = tsExists(path, kind);
    if (rc != TS_OK) return rc;
    return tsAbsPath2(path, out);
}

int tsFexists(const char *path)
{
    return tsExists(path, TS_KIND_FILE) == TS_OK;
}

long tsFtime(const char *path)
{
    long t;
    return tsInfo(path, &t, nullptr, nullptr) == TS_OK ? t : 0;
}

long tsFGMtime(const char *path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    return static_cast<long>(st.st_mtime);
}

int tsDelete(const char *path, int kind)
{
    if (!path) return TS_ERR_PATH;
    size_t n = strnlen(path, TS_PATH_SIZE);
    if (n >= TS_PATH_SIZE) return TS_ERR_PATH;
    char name[TS_PATH_SIZE];
    std::memcpy(name, path, n + 1);
    // The removal calls take the name without a trailing "/".
    if (kind != TS_KIND_FILE && n > 1 && name[n - 1] == '/') name[--n] = '\0';

    struct stat st;
    int err;
    if (stat(name, &st) == 0) {
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return TS_ERR_INVALID;
        int rc = kind == TS_KIND_FILE ? unlink(name) : rmdir(name);
        if (rc == 0) return TS_OK;
        err = errno;
    } else {
        err = errno;
    }
    return err == EACCES ? TS_ERR_INVALID : TS_ERR_NOTFOUND;
}

int tsRename(const char *oldPath, const char *newPath)
{
    if (!oldPath || !newPath) return TS_ERR_PATH;
    if (rename(oldPath, newPath) == 0) return TS_OK;
    if (errno == EACCES) return TS_ERR_INVALID;
    if (errno == ENOENT) return TS_ERR_NOTFOUND;
    return TS_ERR_PATH;
}

int tsCreate(const char *path, int kind)
{
    if (!path) return TS_ERR_PATH;
    if (kind == TS_KIND_DIR) return createDir(path);
    if (strnlen(path, TS_PATH_SIZE) >= TS_PATH_SIZE) return TS_ERR_PATH;
    FILE *f = fopen(path, "w+");
    if (!f) return TS_ERR_CREATE;
    fclose(f);
    if (tsFexists(path)) return TS_OK;
    // The file system kept a cut name: take that file away again.
    char twin[TS_PATH_SIZE];
    if (truncatedTwin(path, twin) && tsFexists(twin)) unlink(twin);
    return TS_ERR_INVALID;
}

int tsCreateWithPath(const char *path, int kind)
{
    char abs[TS_PATH_SIZE];
    int rc = tsAbsPath2(path, abs);
    if (rc != TS_OK) return rc;
    if (tsExists(abs, kind) == TS_OK) return TS_ERR_CREATE;

    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], file[TS_PATH_SIZE];
    rc = tsParse2(abs, node, dir, file);
    if (rc != TS_OK) return rc;
    char full[TS_PATH_SIZE];
    rc = tsMerge(full, node, dir, file, nullptr);
    if (rc != TS_OK) return rc;

    // Every directory above the target, from the first one below the root.
    char prefix[TS_PATH_SIZE];
    for (size_t i = 1; full[i]; i++) {
        if (full[i] != '/') continue;
        std::memcpy(prefix, full, i);
        prefix[i] = '\0';
        if (createDir(prefix) == TS_ERR_INVALID) return TS_ERR_INVALID;
    }
    return tsCreate(full, kind);
}

int tsUnique(char *dir)
{
    if (!dir) return TS_ERR_PATH;
    int rc = tsAbsPath(dir);
    if (rc != TS_OK) return rc;
    if (!isDirectory(dir)) return TS_ERR_NOTFOUND;
    size_t n = std::strlen(dir);
    if (n + 9 >= TS_PATH_SIZE) return TS_ERR_PATH;

    char name[TS_PATH_SIZE];
    std::memcpy(name, dir, n);
    if (n > 0 && name[n - 1] != '/') name[n++] = '/';
    std::strcpy(name + n, "twXXXXXX");
    // mkstemp picks the name and creates the file in one step, so no other
    // process can take the name between the choice and the creation.
    int fd = mkstemp(name);
    if (fd < 0) return TS_ERR_NOTFOUND;
    close(fd);
    std::strcpy(dir, name);
    return TS_OK;
}

int tsValidFile(const char *base)
{
    return validName(base, 8);
}

int tsValidExt(const char *ext)
{
    return validName(ext, 3);
}

int tsMakeValidFile(char *base)
{
    return makeValidName(base, 8);
}

int tsMakeValidExt(char *ext)
{
    return makeValidName(ext, 3);
}

int tsValidSpec(const char *path)
{
    char base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    if (tsParse(path, nullptr, nullptr, base, ext) != TS_OK) return 0;
    return tsValidFile(base) && tsValidExt(ext);
}

int tsMakeValidSpec(char *path)
{
    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    if (tsParse(path, node, dir, base, ext) != TS_OK) return TS_ERR_PATH;
    if (tsMakeValidFile(base) != TS_OK || tsMakeValidExt(ext) != TS_OK) return TS_ERR_PATH;
    return tsMerge(path, node, dir, base, ext) == TS_OK ? TS_OK : TS_ERR_PATH;
}

void tsCoreDump(void)
{
    fflush(nullptr);
    abort();
}
