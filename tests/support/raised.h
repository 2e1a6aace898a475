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

struct Raised {
    uint32_t tag = 0;            // 0: nothing was raised
    int number = 0;              // the head record's; 0 when nothing was raised
    int severity = 0;            // the head record's
    std::string location, text;  // the head record's
    std::vector<int> numbers;    // the number of every record, head first
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
        r.number = twErrNum(twExErrV);
        r.severity = twErrSeverity(twExErrV);
        r.location = orEmpty(twErrLocation(twExErrV));
        r.text = orEmpty(twErrText(twExErrV));
        for (twErr *e = twExErrV; e; e = e->next) r.numbers.push_back(twErrNum(e));
        TW_EX_SWALLOW();
    } TW_END_TRY;
    return r;
}

}  // namespace twtest

#endif
