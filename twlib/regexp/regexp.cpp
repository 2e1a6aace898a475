/* regexp.cpp - regular expressions compiled to a compact program.
 *
 * The block holds a few fields that speed up the scan, then the program:
 * the magic byte, one opcode byte per node (a LITERAL node followed by its
 * zero-terminated text), and FINISH. This version compiles the plain subset
 * described in regexp.h; the node codes are the ones the full engine uses,
 * so the layout grows rather than changes.
 */
#include "twlib/regexp/regexp.h"

#include <cstddef>
#include <cstring>

#include "twlib/core/exit.h"
#include "twlib/core/mem.h"
#include "twlib/err/report.h"

namespace {

enum : unsigned char {
    OP_FINISH = 0,
    OP_SUBJECT_START = 1,
    OP_SUBJECT_END = 2,
    OP_LITERAL = 8,
    PROGRAM_MAGIC = 156,
};

constexpr size_t kMaxProgram = 32767;

// Characters with a special meaning outside classes.
constexpr const char *kSpecial = "^$.[()|?+*\\";

[[noreturn]] void refuse(const char *text)
{
    // Stands in for the library exception until catch frames exist: an
    // exception nobody catches is reported and ends the process too.
    twErrReport2("twRegexp", TW_SEV_FATAL, text);
    twAbort(0);
}

} // namespace

struct twRegexpT {
    char firstChar;          // when nonzero, every match begins with it
    char anchored;           // nonzero: only an attempt at the subject's start
    const char *mustContain; // literal every match contains, or null
    int mustLength;
    // The program follows the record.
};

static unsigned char *programOf(const twRegexpT *re)
{
    return reinterpret_cast<unsigned char *>(const_cast<twRegexpT *>(re) + 1);
}

// Emits the program for 'pattern' into 'out' (or only counts when out is
// null) and returns its size.
static size_t emit(const char *pattern, unsigned char *out)
{
    size_t n = 0;
    auto put = [&](unsigned char c) {
        if (out) out[n] = c;
        n++;
    };
    bool inLiteral = false;
    put(PROGRAM_MAGIC);
    for (const char *p = pattern; *p; p++) {
        char c = *p;
        if (c == '^' || c == '$') {
            if (inLiteral) put(0);
            inLiteral = false;
            put(c == '^' ? OP_SUBJECT_START : OP_SUBJECT_END);
            continue;
        }
        if (c == '\\') {
            if (!p[1]) refuse("trailing \\");
            c = *++p;
        } else if (strchr(kSpecial, c)) {
            refuse("unsupported regexp construct");
        }
        if (!inLiteral) put(OP_LITERAL);
        inLiteral = true;
        put(static_cast<unsigned char>(c));
    }
    if (inLiteral) put(0);
    put(OP_FINISH);
    return n;
}

twRegexpT *twRegexpCompile(const char *pattern)
{
    if (!pattern) refuse("NULL argument");
    size_t size = emit(pattern, nullptr);
    if (size >= kMaxProgram) refuse("regexp too big");
    auto *re = static_cast<twRegexpT *>(
        twMemMalloc(static_cast<uint32_t>(sizeof(twRegexpT) + size), "twRegexpT"));
    unsigned char *prog = programOf(re);
    emit(pattern, prog);
    re->firstChar = 0;
    re->anchored = 0;
    re->mustContain = nullptr;
    re->mustLength = 0;
    if (prog[1] == OP_LITERAL) re->firstChar = static_cast<char>(prog[2]);
    if (prog[1] == OP_SUBJECT_START) re->anchored = 1;
    return re;
}

void twRegexpDestroy(twRegexpT *re)
{
    if (re) twMemFree(re);
}

// Runs the program from 'at'; the end of the match, or null.
static const char *attempt(const unsigned char *node, const char *subject, const char *at)
{
    for (;;) {
        switch (*node) {
        case OP_FINISH:
            return at;
        case OP_SUBJECT_START:
            if (at != subject) return nullptr;
            node++;
            break;
        case OP_SUBJECT_END:
            if (*at) return nullptr;
            node++;
            break;
        case OP_LITERAL: {
            const char *lit = reinterpret_cast<const char *>(node + 1);
            size_t len = strlen(lit);
            if (strncmp(at, lit, len) != 0) return nullptr;
            at += len;
            node += len + 2;
            break;
        }
        default:
            refuse("memory corruption");
        }
    }
}

int twRegexpExec(const twRegexpT *re, twRegexpMatch *match, const char *subject)
{
    if (!re || !subject) refuse("NULL parameter");
    const unsigned char *prog = programOf(re);
    if (prog[0] != PROGRAM_MAGIC) refuse("corrupted program");
    for (const char *at = subject;; at++) {
        if (!re->firstChar || *at == re->firstChar) {
            if (const char *end = attempt(prog + 1, subject, at)) {
                if (match) {
                    for (int i = 0; i < 10; i++) match->start[i] = match->end[i] = nullptr;
                    match->start[0] = at;
                    match->end[0] = end;
                }
                return 1;
            }
        }
        if (re->anchored || !*at) return 0;
    }
}
