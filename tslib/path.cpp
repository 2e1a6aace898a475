/* path.cpp - path names: split, join, clean, absolute and relative forms.
 *
 * Every path lives in a TS_PATH_SIZE-byte buffer, so a path holds at most
 * 255 characters. Inputs are read only up to their NUL (or up to the first
 * 256 characters where a longer one is refused anyway), and an output buffer
 * is written only once the whole result is known to fit: a failed call
 * leaves its output as it was.
 *
 * The default directory is a cached copy of the working directory ending in
 * "/"; relative paths are made absolute against it, not against whatever the
 * process's working directory has become since.
 */
#include "tslib/path.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/text/str.h"

namespace {

constexpr size_t kPathMax = TS_PATH_SIZE - 1;  // longest path that fits

// The default directory, read from the platform on first use and replaced
// by tsSetdef.
char defaultDir[TS_PATH_SIZE];
bool defaultKnown = false;

// The origin directory of the file search: a TS_PATH_SIZE-byte tagged block,
// or null when none is set.
char *origin = nullptr;

void copyOut(char *out, const char *s)
{
    if (out) std::memcpy(out, s, std::strlen(s) + 1);
}

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// The last 'c' among the n characters at s, or null.
const char *lastOf(const char *s, size_t n, char c)
{
    while (n > 0)
        if (s[--n] == c) return s + n;
    return nullptr;
}

// Splits a path shorter than TS_PATH_SIZE into its parts; any output may be
// null. 'file' receives the whole file part (base name and extension).
int splitPath(const char *path, char *node, char *dir, char *base, char *ext, char *file)
{
    size_t n = path ? strnlen(path, TS_PATH_SIZE) : size_t{TS_PATH_SIZE};
    if (n >= TS_PATH_SIZE) {
        // Outputs are cleared so that a caller that ignores the result does
        // not read stale text.
        char *outs[] = {node, dir, base, ext, file};
        for (char *o : outs)
            if (o) o[0] = '\0';
        return TS_ERR_PATH;
    }
    const char *slash = lastOf(path, n, '/');
    size_t dirLen = slash ? static_cast<size_t>(slash - path) + 1 : 0;
    const char *fp = path + dirLen;
    size_t fileLen = n - dirLen;

    size_t baseLen = fileLen;
    const char *extStart = fp + fileLen;  // empty extension
    bool dotName = (fileLen == 1 && fp[0] == '.') || (fileLen == 2 && fp[0] == '.' && fp[1] == '.');
    if (!dotName) {
        const char *dot = lastOf(fp, fileLen, '.');
        if (dot && dot > fp) {
            baseLen = static_cast<size_t>(dot - fp);
            extStart = dot + 1;
        }
    }
    if (node) node[0] = '\0';
    if (dir) {
        std::memcpy(dir, path, dirLen);
        dir[dirLen] = '\0';
    }
    if (base) {
        std::memcpy(base, fp, baseLen);
        base[baseLen] = '\0';
    }
    if (ext) {
        size_t extLen = static_cast<size_t>(fp + fileLen - extStart);
        std::memcpy(ext, extStart, extLen);
        ext[extLen] = '\0';
    }
    if (file) {
        std::memcpy(file, fp, fileLen);
        file[fileLen] = '\0';
    }
    return TS_OK;
}

// Splits 'p' and joins it again (which trims white space around the parts),
// keeping a trailing dot that the join would lose. An empty extension is not
// passed to the join, so that a 255-character path without one still fits.
int splitJoin(char *p)
{
    size_t n = std::strlen(p);
    bool endsWithDot = n > 0 && p[n - 1] == '.';
    char node[TS_PATH_SIZE], dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    if (tsParse(p, node, dir, base, ext) != TS_OK) return TS_ERR_PATH;
    char joined[TS_PATH_SIZE];
    if (tsMerge(joined, node, dir, base, ext[0] ? ext : nullptr) != TS_OK) return TS_ERR_PATH;
    size_t j = std::strlen(joined);
    if (endsWithDot && (j == 0 || joined[j - 1] != '.')) {
        if (j + 1 > kPathMax) return TS_ERR_PATH;
        joined[j] = '.';
        joined[j + 1] = '\0';
    }
    std::memcpy(p, joined, std::strlen(joined) + 1);
    return TS_OK;
}

// Replaces a leading "~" or "~user" of 'p' by the home directory.
int expandHome(char *p)
{
    const char *rest = std::strchr(p, '/');
    if (!rest) rest = p + std::strlen(p);
    char home[TS_PATH_SIZE];
    if (rest == p + 1) {
        const char *h = std::getenv("HOME");
        if (!h || !*h) return TS_ERR_NOTFOUND;
        if (tsConvPath(h, home) != TS_OK) return TS_ERR_PATH;
    } else {
        char name[TS_PATH_SIZE];
        size_t nameLen = static_cast<size_t>(rest - p - 1);
        std::memcpy(name, p + 1, nameLen);
        name[nameLen] = '\0';
        const struct passwd *pw = getpwnam(name);
        if (!pw || !pw->pw_dir) return TS_ERR_PATH;
        if (strnlen(pw->pw_dir, TS_PATH_SIZE) >= TS_PATH_SIZE) return TS_ERR_PATH;
        std::strcpy(home, pw->pw_dir);
    }
    size_t homeLen = std::strlen(home);
    size_t restLen = std::strlen(rest);
    if (rest[0] == '/' && homeLen > 0 && home[homeLen - 1] == '/') homeLen--;
    if (homeLen + restLen > kPathMax) return TS_ERR_PATH;
    char joined[TS_PATH_SIZE];
    std::memcpy(joined, home, homeLen);
    std::memcpy(joined + homeLen, rest, restLen + 1);
    std::memcpy(p, joined, homeLen + restLen + 1);
    return TS_OK;
}

// Resolves "." and ".." in 'in' (an absolute path, up to two path buffers
// long) into 'out'. ".." at the root stays at the root.
int normalise(const char *in, char *out)
{
    constexpr size_t kWork = 2 * TS_PATH_SIZE + 8;
    char res[kWork];
    size_t starts[kWork / 2 + 1];  // where each kept component begins in res
    size_t depth = 0, len = 0;
    size_t inLen = std::strlen(in);
    bool trailingSlash = inLen > 0 && in[inLen - 1] == '/';

    const char *p = in;
    while (*p) {
        while (*p == '/') p++;
        const char *c = p;
        while (*p && *p != '/') p++;
        size_t cl = static_cast<size_t>(p - c);
        if (cl == 0 || (cl == 1 && c[0] == '.')) continue;
        if (cl == 2 && c[0] == '.' && c[1] == '.') {
            if (depth > 0) len = starts[--depth];
            continue;
        }
        starts[depth++] = len;
        res[len++] = '/';
        std::memcpy(res + len, c, cl);
        len += cl;
    }
    if (len == 0 || trailingSlash) res[len++] = '/';
    if (len > kPathMax) return TS_ERR_PATH;
    res[len] = '\0';
    std::memcpy(out, res, len + 1);
    return TS_OK;
}

// The absolute form of 'path' against the default directory or, with
// useDefault false, the process's current working directory.
int absoluteForm(const char *path, char *out, bool useDefault)
{
    if (!path || !out) return TS_ERR_PATH;
    char work[TS_PATH_SIZE];
    if (tsConvPath(path, work) != TS_OK) return TS_ERR_PATH;

    if (work[0] == '~') {
        int rc = expandHome(work);
        if (rc != TS_OK) return rc;
    }
    if (splitJoin(work) != TS_OK) return TS_ERR_PATH;

    char combined[2 * TS_PATH_SIZE + 8];
    size_t prefixLen = 0;
    if (work[0] != '/') {
        if (useDefault) {
            if (tsGetdef(combined) != TS_OK) return TS_ERR_NOTFOUND;
        } else if (!getcwd(combined, TS_PATH_SIZE)) {
            return TS_ERR_NOTFOUND;
        }
        prefixLen = std::strlen(combined);
        if (prefixLen == 0 || combined[prefixLen - 1] != '/') combined[prefixLen++] = '/';
    }
    std::memcpy(combined + prefixLen, work, std::strlen(work) + 1);

    char result[TS_PATH_SIZE];
    if (normalise(combined, result) != TS_OK) return TS_ERR_PATH;
    if (splitJoin(result) != TS_OK) return TS_ERR_PATH;
    copyOut(out, result);
    return TS_OK;
}

}  // namespace

int tsParse(const char *path, char *node, char *dir, char *base, char *ext)
{
    return splitPath(path, node, dir, base, ext, nullptr);
}

int tsParse2(const char *path, char *node, char *dir, char *file)
{
    return splitPath(path, node, dir, nullptr, nullptr, file);
}

int tsParseEx(const char *path, char *node, char *dir, char *base, char *ext)
{
    int rc = tsParse(path, node, dir, base, ext);
    if (rc != TS_OK) {
        // Only the first part of an over-long path goes into the message.
        char shown[TS_PATH_SIZE];
        size_t n = path ? strnlen(path, kPathMax) : 0;
        if (n) std::memcpy(shown, path, n);
        shown[n] = '\0';
        twExThrowBuild(TW_EX_POSTCOND, nullptr, twEx_LibraryMessageFile("tslib"), 1041, shown);
    }
    return TS_OK;
}

int tsMerge(char *out, const char *node, const char *dir, const char *base, const char *ext)
{
    if (!out) return TS_ERR_PATH;
    char *parts[4] = {twStrTrimAlloc(node), twStrTrimAlloc(dir), twStrTrimAlloc(base), twStrTrimAlloc(ext)};
    size_t lens[4];
    for (int i = 0; i < 4; i++) lens[i] = parts[i] ? std::strlen(parts[i]) : 0;
    bool addSlash = lens[1] > 0 && parts[1][lens[1] - 1] != '/';
    size_t total = lens[0] + lens[1] + lens[2] + (addSlash ? 1 : 0) + (parts[3] ? lens[3] + 1 : 0);
    int rc = TS_ERR_PATH;
    if (total <= kPathMax) {
        size_t at = 0;
        for (int i = 0; i < 3; i++) {
            if (lens[i]) std::memcpy(out + at, parts[i], lens[i]);
            at += lens[i];
            if (i == 1 && addSlash) out[at++] = '/';
        }
        if (lens[3]) {
            out[at++] = '.';
            std::memcpy(out + at, parts[3], lens[3]);
            at += lens[3];
        }
        out[at] = '\0';
        rc = TS_OK;
    }
    for (char *p : parts)
        if (p) twStrFree(p);
    return rc;
}

int tsDnpath(char *dir, const char *sub)
{
    if (!dir) return TS_ERR_PATH;
    if (!sub || !*sub) return TS_OK;
    size_t dirLen = strnlen(dir, TS_PATH_SIZE);
    size_t subLen = strnlen(sub, TS_PATH_SIZE);
    bool slashBetween = dirLen > 0 && dir[dirLen - 1] != '/';
    bool slashAfter = sub[subLen - 1] != '/';
    size_t total = dirLen + (slashBetween ? 1 : 0) + subLen + (slashAfter ? 1 : 0);
    if (total > kPathMax) return TS_ERR_PATH;
    size_t at = dirLen;
    if (slashBetween) dir[at++] = '/';
    std::memcpy(dir + at, sub, subLen);
    at += subLen;
    if (slashAfter) dir[at++] = '/';
    dir[at] = '\0';
    return TS_OK;
}

int tsConvPath(const char *path, char *out)
{
    if (!path || !out) return TS_ERR_PATH;
    char res[TS_PATH_SIZE];
    size_t len = 0;
    for (const char *p = path; *p; p++) {
        if (isSeparator(p[0]) && isSeparator(p[1])) continue;
        if (len == kPathMax) return TS_ERR_PATH;
        res[len++] = *p == '\\' ? '/' : *p;
    }
    res[len] = '\0';
    std::memcpy(out, res, len + 1);
    return TS_OK;
}

int tsAbsPath2(const char *path, char *out)
{
    return absoluteForm(path, out, true);
}

int tsAbsSysPath2(const char *path, char *out)
{
    return absoluteForm(path, out, false);
}

int tsAbsPath(char *path)
{
    if (!path) return TS_ERR_PATH;
    char res[TS_PATH_SIZE];
    int rc = absoluteForm(path, res, true);
    if (rc != TS_OK) return rc;
    size_t inLen = strnlen(path, TS_PATH_SIZE);
    bool inEndsWithSlash = inLen > 0 && path[inLen - 1] == '/';
    size_t n = std::strlen(res);
    if (!inEndsWithSlash && n > 1 && res[n - 1] == '/') res[n - 1] = '\0';
    copyOut(path, res);
    return TS_OK;
}

int tsRelPath(char *path)
{
    if (!path) return TS_ERR_PATH;
    char def[TS_PATH_SIZE];
    int rc = tsGetdef(def);
    if (rc != TS_OK) return rc;
    rc = tsAbsPath(path);
    if (rc != TS_OK) return rc;
    size_t defLen = std::strlen(def);
    size_t len = std::strlen(path);
    if (defLen > 0 && std::strncmp(path, def, defLen) == 0) {
        std::memmove(path, path + defLen, len - defLen + 1);
    } else if (defLen > 1 && def[defLen - 1] == '/' && len == defLen - 1 &&
               std::strncmp(path, def, len) == 0) {
        path[0] = '\0';
    }
    return TS_OK;
}

int tsRelPath2(const char *path, char *out)
{
    if (!path || !out) return TS_ERR_PATH;
    size_t n = strnlen(path, TS_PATH_SIZE);
    if (n >= TS_PATH_SIZE) return TS_ERR_PATH;
    std::memmove(out, path, n);
    out[n] = '\0';
    return tsRelPath(out);
}

int tsGetdef(char *out)
{
    if (!defaultKnown) {
        char cwd[TS_PATH_SIZE];
        if (!getcwd(cwd, sizeof cwd)) return 1;
        size_t n = std::strlen(cwd);
        if (n < kPathMax && (n == 0 || cwd[n - 1] != '/')) {
            cwd[n++] = '/';
            cwd[n] = '\0';
        }
        std::memcpy(defaultDir, cwd, n + 1);
        defaultKnown = true;
    }
    copyOut(out, defaultDir);
    return TS_OK;
}

int tsSetdef(const char *dir)
{
    if (!dir || !*dir) return TS_ERR_INVALID;
    // A longer name is refused rather than cut: the cut name would be some
    // other directory.
    size_t n = strnlen(dir, TS_PATH_SIZE);
    if (n >= TS_PATH_SIZE) return TS_ERR_INVALID;
    char abs[TS_PATH_SIZE];
    std::memcpy(abs, dir, n);
    abs[n] = '\0';
    if (tsAbsPath(abs) != TS_OK) return TS_ERR_INVALID;
    char dirPart[TS_PATH_SIZE], base[TS_PATH_SIZE];
    if (tsParse(abs, nullptr, dirPart, base, nullptr) != TS_OK) return TS_ERR_INVALID;
    if (!dirPart[0] && !base[0]) return TS_OK;
    if (chdir(abs) != 0) return TS_ERR_INVALID;
    size_t len = std::strlen(abs);
    if (len < kPathMax && abs[len - 1] != '/') {
        abs[len++] = '/';
        abs[len] = '\0';
    }
    std::memcpy(defaultDir, abs, len + 1);
    defaultKnown = true;
    return TS_OK;
}

int tsSetorigin(const char *dir)
{
    if (!dir) {
        if (origin) twMemFree(origin);
        origin = nullptr;
        return TS_OK;
    }
    size_t n = strnlen(dir, TS_PATH_SIZE);
    if (n > kPathMax) return TS_ERR_INVALID;
    if (!origin) origin = static_cast<char *>(twMemMalloc(TS_PATH_SIZE, "WS Origin Spec"));
    std::memmove(origin, dir, n);
    origin[n] = '\0';
    return TS_OK;
}

const char *tsGetorigin(void)
{
    return origin;
}

int tsTrnlog(const char *name, char *buf)
{
    if (!buf) return TS_ERR_INVALID;
    const char *value = name ? std::getenv(name) : nullptr;
    if (!value) return TS_ERR_NOTFOUND;
    size_t n = strnlen(value, TS_TRNLOG_SIZE - 1);
    std::memcpy(buf, value, n);
    buf[n] = '\0';
    return TS_OK;
}
