/* byteblock.cpp - reference-counted byte blocks and their type.
 *
 * The record is a free-list piece; the bytes are a tagged block of their
 * own, so a block of any size keeps a record of one size class.
 */
#include "twlib/pref/byteblock.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "twlib/core/freelist.h"
#include "twlib/core/mem.h"
#include "twlib/err/except.h"
#include "twlib/pref/convert.h"
#include "twlib/pref/types.h"

struct twByteBlock {
    void *data;        // tagged block of 'size' bytes (a block of its own when 0)
    int32_t size;      // >= 0
    int32_t refCount;  // holders; the record goes when it reaches 0
};

static const char kRecordTag[] = "twByteBlockID";
static const char kDataTag[] = "twByteBlock";

twByteBlock *twByteBlockCreate(const void *bytes, int size)
{
    twExPrecond(size < 0 || (bytes == nullptr && size > 0), nullptr, 0);
    void *data = twMemMalloc((uint32_t)size, kDataTag);
    if (size > 0) memcpy(data, bytes, (size_t)size);
    auto *block = static_cast<twByteBlock *>(twMemFlAlloc(sizeof(twByteBlock), kRecordTag));
    block->data = data;
    block->size = size;
    block->refCount = 1;
    return block;
}

twByteBlock *twByteBlockCopy(twByteBlock *block)
{
    if (block) block->refCount++;
    return block;
}

void twByteBlockFree(twByteBlock *block)
{
    if (!block || --block->refCount > 0) return;
    twMemFree(block->data);
    twMemFlFree(block, sizeof(twByteBlock));
}

int twByteBlockGetSize(const twByteBlock *block)
{
    return block ? block->size : 0;
}

void *twByteBlockGetData(const twByteBlock *block)
{
    return block ? block->data : nullptr;
}

/* ---- the type ---- */

namespace {

// How much of the data the printed form shows.
constexpr int kShownBytes = 32;

void printBlock(void *value, twTypeEmitFn emit, void *emitArg)
{
    const auto *block = static_cast<const twByteBlock *>(value);
    int size = twByteBlockGetSize(block);
    int shown = size < kShownBytes ? size : kShownBytes;
    // The data has no terminating zero: copy exactly the bytes shown, and
    // stop at a zero byte, which would end the text anyway.
    const char *data = static_cast<const char *>(twByteBlockGetData(block));
    const void *zero = shown > 0 ? memchr(data, 0, (size_t)shown) : nullptr;
    if (zero) shown = (int)(static_cast<const char *>(zero) - data);
    char text[80];
    int at = snprintf(text, sizeof text, "%d bytes: ", size);
    static_assert(sizeof text > sizeof "-2147483648 bytes: " + kShownBytes + sizeof "...");
    if (shown > 0) memcpy(text + at, data, (size_t)shown);
    memcpy(text + at + shown, "...", sizeof "...");
    emit(emitArg, text);
}

void *copyBlock(void *value)
{
    return twByteBlockCopy(static_cast<twByteBlock *>(value));
}

void freeBlock(void *value)
{
    twByteBlockFree(static_cast<twByteBlock *>(value));
}

void *parseBlock(const char *text)
{
    size_t length = text ? strlen(text) : 0;
    twExPrecond(length > (size_t)INT_MAX, nullptr, 0);
    return twByteBlockCreate(text, (int)length);
}

twTypePointer4Params byteBlockFunctions = {printBlock, copyBlock, freeBlock, parseBlock};

}  // namespace

twTypeSpec twByteBlockTS = {"twByteBlockVT", &twPointer4TB, &byteBlockFunctions, 1};
