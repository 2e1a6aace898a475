/* typefile.cpp - the file behaviour of the type specifications and its
 * checks: a valid name, readable, writable, readable or creatable, a
 * directory, a writable directory.
 *
 * No check changes what it finds: an existing file is opened for writing
 * without truncation and closed again, and a file that does not exist yet
 * is probed with an exclusive create that cannot take over one made
 * meanwhile. Every file a probe creates is deleted by the probe (with the
 * plain unlink, which does not mind a creation mask that left the file
 * without write permission). Opens do not block, so a named pipe cannot
 * hang a check.
 */
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/pref/types.h"
#include "twlib/text/str.h"
#include "tslib/fileops.h"
#include "tslib/path.h"

namespace {

[[noreturn]] void refuse(int number, ...)
{
    va_list ap;
    va_start(ap, number);
    twExThrowBuildVa(TW_EX_POSTCOND, nullptr, twEx_LibraryMessageFile("twlib"), number, ap);
}

bool isDirectory(const char *path)
{
    int kind = 0;
    return tsInfo(path, nullptr, nullptr, &kind) == TS_OK && kind == TS_KIND_DIR;
}

bool exists(const char *path)
{
    return tsInfo(path, nullptr, nullptr, nullptr) == TS_OK;
}

bool opens(const char *path, int how)
{
    int fd = open(path, how | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// Not a directory, and it opens for reading.
bool readable(const char *path)
{
    return !isDirectory(path) && opens(path, O_RDONLY);
}

// An existing file that may be written: opened for writing, without
// truncating, and closed.
bool writableFile(const char *path)
{
    return !isDirectory(path) && opens(path, O_WRONLY);
}

// A scratch file can be created and removed in 'dir': tsUnique makes one
// there, and that very file is deleted again.
bool scratchProbe(const char *dir)
{
    char probe[TS_PATH_SIZE];
    if (strlen(dir) >= sizeof probe) return false;
    strcpy(probe, dir);
    if (tsUnique(probe) != TS_OK) return false;
    unlink(probe);
    return true;
}

// The directory part of an absolute path.
bool directoryOf(const char *path, char *dir)
{
    return tsParse(path, nullptr, dir, nullptr, nullptr) == TS_OK;
}

int nameCheck(const char *)
{
    return 1;
}

int readCheck(const char *path)
{
    return readable(path);
}

int writeCheck(const char *path)
{
    char dir[TS_PATH_SIZE];
    if (!directoryOf(path, dir) || !scratchProbe(dir)) return 0;
    return !exists(path) || writableFile(path);
}

int readWriteCheck(const char *path)
{
    if (readable(path)) return 1;
    if (exists(path)) return writableFile(path);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return 0;
    close(fd);
    unlink(path);
    return 1;
}

int dirCheck(const char *path)
{
    return isDirectory(path);
}

int dirWriteCheck(const char *path)
{
    return isDirectory(path) && scratchProbe(path);
}

void fileParse(const char *text, void *params)
{
    const twTypeFileParams *f = static_cast<const twTypeFileParams *>(params);
    size_t len = strlen(text);
    if (len == 0 || len >= TS_PATH_SIZE) refuse(1415, text);
    char path[TS_PATH_SIZE], dir[TS_PATH_SIZE], base[TS_PATH_SIZE], ext[TS_PATH_SIZE];
    memcpy(path, text, len + 1);
    if (tsAbsPath(path) != TS_OK || tsParse(path, nullptr, dir, base, ext) != TS_OK || !tsValidFile(base))
        refuse(1415, text);
    if (ext[0] && !tsValidExt(ext)) refuse(1415, text);
    if (f->check && !f->check(path)) {
        if (f->message == TW_TYPE_NO_MESSAGE) refuse(1408, f->typeName ? f->typeName : "", text);
        refuse(f->message, text);
    }
    twTypeReturnDataV = twTypePtrToTypedata(twStrCpy(path));
}

void fileFormat(const twTypedata *value, void *, twTypeEmitFn emit, void *emitArg)
{
    emit(emitArg, static_cast<const char *>(value->p));
}

void fileFree(twTypedata value, void *)
{
    twStrFree(static_cast<char *>(value.p));
}

twTypedata fileCopy(twTypedata value, void *)
{
    return twTypePtrToTypedata(twStrCpy(static_cast<const char *>(value.p)));
}

void freeParamsBlock(twTypeSpec *spec)
{
    twMemFree(spec->params);
}

twTypeFileParams fileName = {nameCheck, "twFileNameVT", 1415};
twTypeFileParams fileRead = {readCheck, "twFileReadVT", 1414};
twTypeFileParams fileWrite = {writeCheck, "twFileWriteVT", 1416};
twTypeFileParams fileReadWrite = {readWriteCheck, "twFileReadWriteVT", 1417};
twTypeFileParams dir = {dirCheck, "twDirVT", 1418};
twTypeFileParams dirWrite = {dirWriteCheck, "twDirWriteVT", 1419};

}  // namespace

const twTypeBehaviour twFileTB = {TW_TYPE_STORAGE, fileParse, fileFormat,
                                  fileFree,        fileCopy,  freeParamsBlock};

twTypeSpec twFileNameTS = {"twFileNameVT", &twFileTB, &fileName, 1};
twTypeSpec twFileReadTS = {"twFileReadVT", &twFileTB, &fileRead, 1};
twTypeSpec twFileWriteTS = {"twFileWriteVT", &twFileTB, &fileWrite, 1};
twTypeSpec twFileReadWriteTS = {"twFileReadWriteVT", &twFileTB, &fileReadWrite, 1};
twTypeSpec twDirTS = {"twDirVT", &twFileTB, &dir, 1};
twTypeSpec twDirWriteTS = {"twDirWriteVT", &twFileTB, &dirWrite, 1};
