/* byteblock_test.cpp - reference-counted byte blocks and their type. The
 * allocation sweep and the leak check run with the conversions
 * (convert_test.cpp). */
#include "twlib/pref/byteblock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/raised.h"
#include "twlib/pref/convert.h"
#include "twlib/text/strbuf.h"

namespace {

std::string printed(twByteBlock *block)
{
    twTypedata v = twTypePtrToTypedata(block);
    twStrBuf *buf = twStrBufCreate(0);
    twTypeAppendText(&twByteBlockTS, &v, buf);
    std::string s = twStrBufString(buf);
    twStrBufDestroy(buf);
    return s;
}

TEST(ByteBlockTest, KeepsACopyUntilTheLastHolderFreesAndRefusesBadSizes)
{
    char bytes[] = {'a', '\0', 'c'};
    twByteBlock *b = twByteBlockCreate(bytes, 3);
    bytes[0] = 'x';
    EXPECT_EQ(b, twByteBlockCopy(b));
    twByteBlockFree(b);
    ASSERT_EQ(3, twByteBlockGetSize(b)) << "one holder is left";
    EXPECT_EQ(0, memcmp("a\0c", twByteBlockGetData(b), 3));
    twByteBlockFree(b);
    twByteBlockFree(nullptr);
    EXPECT_EQ(0, twByteBlockGetSize(nullptr));

    EXPECT_EQ(uint32_t{TW_EX_PRECOND}, twtest::raised([] { twByteBlockCreate("abc", -1); }).tag);
    EXPECT_EQ(uint32_t{TW_EX_PRECOND}, twtest::raised([] { twByteBlockCreate(nullptr, 2); }).tag);
}

TEST(ByteBlockTest, ParsesTextWithoutItsZeroAndPrintsExactlyItsBytes)
{
    twTypedata v = twTypeParse(&twByteBlockTS, "abc");
    auto *b = static_cast<twByteBlock *>(v.p);
    ASSERT_EQ(3, twByteBlockGetSize(b)) << "no terminating zero";
    // Nothing follows the bytes (an over-read shows under the address
    // sanitizer).
    EXPECT_EQ("3 bytes: abc...", printed(b));
    twTypedata copy = twTypeCopyValue(&twByteBlockTS, v);
    twTypeFreeValue(&twByteBlockTS, v);
    EXPECT_EQ("3 bytes: abc...", printed(b)) << "copied, then freed once: still alive";
    twTypeFreeValue(&twByteBlockTS, copy);

    std::string forty(40, 'x');
    forty[31] = 'y';
    twByteBlock *big = twByteBlockCreate(forty.data(), 40);
    EXPECT_EQ("40 bytes: " + forty.substr(0, 32) + "...", printed(big));
    twByteBlockFree(big);
    twByteBlock *zero = twByteBlockCreate("a\0b", 3);
    EXPECT_EQ("3 bytes: a...", printed(zero)) << "the text ends at a zero byte";
    twByteBlockFree(zero);
    EXPECT_EQ("0 bytes: ...", printed(nullptr));
}

}  // namespace
