/* raised.h - what a piece of work raised.
 *
 *   twtest::Raised r = twtest::raised([&] { twSomething(bad); });
 *   EXPECT_EQ(1201, r.number);
 *
 * The work runs under a catch frame for every tag; whatever it raises is
 * copied out and swallowed. A raise jumps over the work's own frames, so the
 * work must keep no C++ object with a destructor there.
 */
#ifndef TW_TESTS_SUPPORT_RAISED_H
#define TW_TESTS_SUPPORT_RAISED_H

#include <cstdint>
#include <string>
#include <vector>

#include "twlib/err/error.h"
#include "twlib/err/except.h"

namespace twtest {

struct RaisedRecord {
    int number = 0;
    int severity = 0;
    std::string location, text;
};

struct Raised {
    uint32_t tag = 0;                 // 0: nothing was raised
    int number = 0;                   // the head record's; 0 when nothing was raised
    int severity = 0;                 // the head record's
    std::string location, text;       // the head record's
    std::vector<RaisedRecord> chain;  // every record, head first

    std::vector<int> numbers() const
    {
        std::vector<int> n;
        for (const RaisedRecord &r : chain) n.push_back(r.number);
        return n;
    }
    // The first record whose number is 'number' or in [number, last]; null
    // when the chain has none.
    const RaisedRecord *find(int number, int last = 0) const
    {
        if (last < number) last = number;
        for (const RaisedRecord &r : chain)
            if (r.number >= number && r.number <= last) return &r;
        return nullptr;
    }
};

inline std::string orEmpty(const char *s)
{
    return s ? s : "";
}

template <typename Work> Raised raised(Work &&work)
{
    Raised r;
    TW_TRY(TW_EX_ALL) {
        work();
    } TW_CATCH {
        r.tag = twExTagV;
        for (twErr *e = twExErrV; e; e = e->next)
            r.chain.push_back({twErrNum(e), twErrSeverity(e), orEmpty(twErrLocation(e)), orEmpty(twErrText(e))});
        if (!r.chain.empty()) {
            r.number = r.chain[0].number;
            r.severity = r.chain[0].severity;
            r.location = r.chain[0].location;
            r.text = r.chain[0].text;
        }
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return r;
}

}  // namespace twtest

#endif
