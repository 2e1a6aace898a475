// Differential test: generated patterns over the common syntax (literals, ".",
// classes, negated classes, ranges, "*", "+", "?", "|", groups, "^", "$") and
// generated subjects, matched here and by std::regex in ECMAScript mode, which
// also picks the leftmost match, the first alternative that lets the rest
// succeed, and the longest repetition first. The whole match must agree
// everywhere, and every group except those where the two capture rules part:
//
// - ECMAScript clears the groups inside a repeated atom at each iteration;
//   here a group keeps the extent of the last iteration that passed it. So
//   groups strictly inside an atom under "*" or "+" are not compared (the
//   repeated group itself is).
// - ECMAScript refuses an iteration that matched empty, so a group inside an
//   atom under "?" that can match empty stays unset there while it is set
//   (empty) here. Such groups (the atom itself included) are not compared.
//
// The same searches run again with the matcher's failure memory on from the
// first backtrack; those results must be identical, groups included.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "twlib/regexp/regexp.h"
#include "twlib/regexp/regexp_testhook.h"

namespace {

struct Pattern {
    std::string text;
    std::vector<bool> comparable;  // by group number - 1
};

class PatternGen {
public:
    explicit PatternGen(unsigned seed) : rng_(seed) {}

    Pattern next()
    {
        Pattern p;
        groups_ = &p.comparable;
        bool nullable;
        p.text = alternatives(3, nullable);
        return p;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // Branches separated by "|"; nullable when some branch can match empty.
    std::string alternatives(int depth, bool &nullable)
    {
        int n = 1 + (pick(4) == 0) + (pick(6) == 0);
        std::string s;
        nullable = false;
        for (int i = 0; i < n; i++) {
            bool branchNullable;
            if (i) s += '|';
            s += branch(depth, branchNullable);
            nullable = nullable || branchNullable;
        }
        return s;
    }

    std::string branch(int depth, bool &nullable)
    {
        int n = pick(10) == 0 ? 0 : 1 + pick(4);
        std::string s;
        nullable = true;
        for (int i = 0; i < n; i++) {
            bool pieceNullable;
            s += piece(depth, pieceNullable);
            nullable = nullable && pieceNullable;
        }
        return s;
    }

    std::string piece(int depth, bool &nullable)
    {
        size_t firstGroup = groups_->size();
        bool isGroup = false;
        std::string s = atom(depth, nullable, isGroup);
        int q = pick(8);
        // "*" and "+" need an atom that cannot match empty.
        if (q == 0 && !nullable) {
            s += '*';
            nullable = true;
            for (size_t g = firstGroup + isGroup; g < groups_->size(); g++) (*groups_)[g] = false;
        } else if (q == 1 && !nullable) {
            s += '+';
            for (size_t g = firstGroup + isGroup; g < groups_->size(); g++) (*groups_)[g] = false;
        } else if (q == 2) {
            s += '?';
            if (nullable)
                for (size_t g = firstGroup; g < groups_->size(); g++) (*groups_)[g] = false;
            nullable = true;
        }
        return s;
    }

    std::string atom(int depth, bool &nullable, bool &isGroup)
    {
        nullable = false;
        int k = pick(20);
        if (k < 8) return std::string(1, "abc"[pick(3)]);
        if (k < 10) return ".";
        if (k < 13) return bracket();
        if (k < 14) return std::string("\\") + ".*+?()[]|^$\\"[pick(12)];
        if (k < 15) {
            nullable = true;
            return pick(2) ? "^" : "$";
        }
        if (depth == 0 || groups_->size() >= 9) return std::string(1, "abc"[pick(3)]);
        isGroup = true;
        groups_->push_back(true);
        return "(" + alternatives(depth - 1, nullable) + ")";
    }

    std::string bracket()
    {
        std::string s = "[";
        if (pick(3) == 0) s += '^';
        int n = 1 + pick(3);
        for (int i = 0; i < n; i++) {
            if (pick(4) == 0)
                s += pick(2) ? "a-b" : "b-d";
            else
                s += "abcd*."[pick(6)];
        }
        if (pick(8) == 0) s += '-';
        return s + "]";
    }

    std::mt19937 rng_;
    std::vector<bool> *groups_ = nullptr;
};

std::string subjectFor(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> len(0, 9), ch(0, 9);
    std::string s;
    for (int n = len(rng); n > 0; n--) s += "aaabbbccd."[ch(rng)];
    if (ch(rng) == 0) s += "*^$";
    return s;
}

// "offset+length" of each of the 10 entries, "-" when unset.
std::vector<std::string> oursFor(const twRegexpT *re, const std::string &subject)
{
    twRegexpMatch m;
    std::vector<std::string> out;
    if (!twRegexpExec(re, &m, subject.c_str())) return out;
    for (int i = 0; i < 10; i++)
        out.push_back(m.start[i] ? std::to_string(m.start[i] - subject.c_str()) + "+" +
                                       std::to_string(m.end[i] - m.start[i])
                                 : "-");
    return out;
}

std::vector<std::string> referenceFor(const std::regex &re, const std::string &subject)
{
    std::smatch m;
    std::vector<std::string> out;
    if (!std::regex_search(subject, m, re)) return out;
    for (size_t i = 0; i < 10; i++)
        out.push_back(i < m.size() && m[i].matched
                          ? std::to_string(m.position(i)) + "+" + std::to_string(m.length(i))
                          : "-");
    return out;
}

TEST(RegexpDiffTest, AgreesWithEcmaScriptOnGeneratedPatterns)
{
    PatternGen gen(20240611);
    std::mt19937 subjects(7);
    int compared = 0, matched = 0, refusedByReference = 0;
    for (int i = 0; i < 3000; i++) {
        Pattern p = gen.next();
        std::regex reference;
        try {
            reference = std::regex(p.text, std::regex::ECMAScript);
        } catch (const std::regex_error &) {
            refusedByReference++;  // quantified anchors, say
            continue;
        }
        twRegexpT *re = twRegexpCompile(p.text.c_str());
        for (int j = 0; j < 12; j++) {
            std::string subject = subjectFor(subjects);
            twRegexp_TestMemoAfter(-1);
            std::vector<std::string> ours = oursFor(re, subject);
            twRegexp_TestMemoAfter(0);
            EXPECT_EQ(ours, oursFor(re, subject))
                << "failure memory changed the result of " << p.text << " on " << subject;
            std::vector<std::string> want = referenceFor(reference, subject);
            compared++;
            ASSERT_EQ(want.empty(), ours.empty()) << p.text << " on \"" << subject << "\"";
            if (ours.empty()) continue;
            matched++;
            EXPECT_EQ(want[0], ours[0]) << p.text << " on \"" << subject << "\"";
            for (size_t g = 0; g < p.comparable.size(); g++) {
                if (!p.comparable[g]) continue;
                EXPECT_EQ(want[g + 1], ours[g + 1])
                    << "group " << g + 1 << " of " << p.text << " on \"" << subject << "\"";
            }
            if (HasFailure()) return;
        }
        twRegexpDestroy(re);
    }
    twRegexp_TestMemoAfter(-1);
    // The generator must reach both outcomes often, and rarely be refused.
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 9 / 10);
    EXPECT_LT(refusedByReference, 300);
}

}  // namespace
