/* tmb_reader.h - reads a binary message file byte by byte, for the tests
 * of the message compiler, independently of the library's reader.
 *
 * It honours the descriptor's byte order and sizes (4-byte longs and 2-byte
 * shorts, the layout every writer of message files uses) and checks every
 * offset against the file's size, so a damaged file fails the test instead
 * of reading past the end.
 */
#ifndef TW_TESTS_TWLIB_ERR_TMB_READER_H
#define TW_TESTS_TWLIB_ERR_TMB_READER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace twtest {

struct TmbMessage {
    std::string text;
    std::vector<int> args;  // type code per position, positions 1.. at 0..
};

struct TmbFile {
    std::string problem;  // empty when the file read well
    int32_t header[15] = {};
    std::vector<int32_t> order;  // message numbers in index order
    std::map<int32_t, TmbMessage> messages;
    std::string owner, release, version;  // "" when absent
};

inline TmbFile readTmb(const std::string &bytes)
{
    TmbFile f;
    if (bytes.size() < 2 || bytes[0] != 1 || !(bytes[1] & 0x80)) {
        f.problem = "bad descriptor";
        return f;
    }
    bool big = bytes[1] & 1;
    if (bytes[1] & (2 | 16)) {
        f.problem = "not 4-byte longs and 2-byte shorts";
        return f;
    }
    const std::string data = bytes.substr(2);
    auto in = [&](int64_t at, int64_t n) { return at >= 0 && n >= 0 && at + n <= (int64_t)data.size(); };
    auto u8 = [&](int64_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(data[at])); };
    auto i32 = [&](int64_t at) {
        uint32_t v = big ? u8(at) << 24 | u8(at + 1) << 16 | u8(at + 2) << 8 | u8(at + 3)
                         : u8(at + 3) << 24 | u8(at + 2) << 16 | u8(at + 1) << 8 | u8(at);
        return static_cast<int32_t>(v);
    };
    auto i16 = [&](int64_t at) {
        uint16_t v = static_cast<uint16_t>(big ? u8(at) << 8 | u8(at + 1) : u8(at + 1) << 8 | u8(at));
        return static_cast<int16_t>(v);
    };
    auto str = [&](int32_t at, std::string *out) {
        if (at == 0) return true;
        if (!in(at, 2)) return false;
        int n = i16(at);
        if (n < 1 || !in(at + 2, n) || data[at + 2 + n - 1] != '\0') return false;
        *out = data.substr(at + 2, n - 1);
        return true;
    };
    if (!in(0, 60)) {
        f.problem = "short header";
        return f;
    }
    for (int i = 0; i < 15; i++) f.header[i] = i32(4 * i);
    if (f.header[0] != 0x00010203) {
        f.problem = "bad check value";
        return f;
    }
    if (!str(f.header[6], &f.owner) || !str(f.header[7], &f.release) || !str(f.header[5], &f.version)) {
        f.problem = "bad string record";
        return f;
    }
    int32_t at = f.header[4];
    if (!in(at, 4)) {
        f.problem = "no index";
        return f;
    }
    int32_t count = i32(at);
    if (count < 0 || !in(at + 4, int64_t{count} * 12)) {
        f.problem = "bad index count";
        return f;
    }
    for (int32_t i = 0; i < count; i++) {
        int64_t e = at + 4 + int64_t{i} * 12;
        int32_t number = i32(e), offset = i32(e + 4), length = i32(e + 8);
        if (length < 1 || !in(offset, length) || data[offset + length - 1] != '\0' ||
            !in(offset + length, 2)) {
            f.problem = "bad entry for " + std::to_string(number);
            return f;
        }
        TmbMessage m;
        m.text = data.substr(offset, length - 1);
        int highest = i16(offset + length);
        if (highest < 0 || !in(offset + length + 2, 2 * highest)) {
            f.problem = "bad argument table for " + std::to_string(number);
            return f;
        }
        for (int n = 0; n < highest; n++) m.args.push_back(i16(offset + length + 2 + 2 * n));
        f.order.push_back(number);
        f.messages[number] = m;
    }
    return f;
}

}  // namespace twtest

#endif
