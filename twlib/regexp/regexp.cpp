/* regexp.cpp - regular expressions compiled to a node program and matched by
 * backtracking.
 *
 * Compiling runs the same recursive-descent parser twice: the first pass
 * only adds up the program size (so a refused pattern leaves nothing
 * behind), the second emits into the block. Every node carries a relative
 * link to the node that follows it; a group is GROUP_START, its branches
 * (each opened by an ALTERNATIVE whose link chains the branches) and
 * GROUP_END, and every branch's tail links to the node after the group.
 * Repetitions of a one-character atom become a ZERO_OR_MORE / ONE_OR_MORE
 * node in front of it; any other repeated atom becomes a loop of
 * ALTERNATIVE, LOOP_BACK and EMPTY nodes.
 *
 * The matcher walks the links with an explicit stack of choice points and
 * group-slot undo records, kept in the frame while it is small and on the
 * heap when it grows, so a long subject never deepens the machine stack.
 * Whether the rest of the program succeeds from a given node at a given
 * position depends on nothing else (there are no back-references), so once
 * a search has backtracked a lot, exhausted choice points are remembered as
 * failed (node, position) pairs and never explored twice: nested loops such
 * as (a|a)*b stay polynomial.
 *
 * A group slot takes the position of the last GROUP_START / GROUP_END of its
 * group on the successful path, which is what recording on the way back out
 * of a recursive matcher gives: a repeated group keeps its last iteration.
 */
#include "twlib/regexp/regexp.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "twlib/core/fault.h"
#include "twlib/core/mem.h"
#include "twlib/regexp/regexp_testhook.h"
#include "twlib/text/str.h"

namespace {

// Failures are operations that failed (tag 2) of severity Error.
constexpr uint32_t kFailedTag = 2;
constexpr int kSeverityError = 0;

[[noreturn]] void raise(const char *text)
{
    tw_RaiseText(kFailedTag, "twRegexp", kSeverityError, text);
}

constexpr size_t kMaxProgram = 32767;
constexpr size_t kNodeSize = 3;  // opcode and the two-byte link

// Characters with a special meaning outside classes.
constexpr const char *kSpecial = "^$.[()|?+*\\";

bool isMultiplier(char c)
{
    return c == '*' || c == '+' || c == '?';
}

// What the parser knows about the piece it just compiled.
enum : int {
    HAS_WIDTH = 1,       // never matches the empty string
    SIMPLE = 2,          // always exactly one character: may sit under ZERO_OR_MORE
    STARTS_STARRED = 4,  // may begin with a "*" piece
};

// Node links: 0 is "no node" (offset 0 holds the magic byte, never a node).
size_t nextNode(const unsigned char *prog, size_t at)
{
    size_t off = static_cast<size_t>(prog[at + 1]) << 8 | prog[at + 2];
    if (off == 0) return 0;
    if (prog[at] != TW_RE_LOOP_BACK) return at + off;
    return off < at ? at - off : 0;
}

const char *operandOf(const unsigned char *prog, size_t at)
{
    return reinterpret_cast<const char *>(prog + at + kNodeSize);
}

// --- Compiler ---------------------------------------------------------------

// Parser position and output of one compile; plain data, so a raise may
// leave it behind.
struct Compiler {
    const char *parse;   // next pattern character
    int groups;          // number the next group takes
    unsigned char *out;  // null in the sizing pass
    size_t size;         // program bytes emitted (or counted) so far
};

void emitByte(Compiler &c, unsigned char b)
{
    if (c.out) c.out[c.size] = b;
    c.size++;
}

size_t emitNode(Compiler &c, int op)
{
    size_t at = c.size;
    emitByte(c, static_cast<unsigned char>(op));
    emitByte(c, 0);
    emitByte(c, 0);
    return at;
}

// Puts a node in front of the operand that starts at 'at' (the operand is
// the last thing emitted, so nothing outside it links into it yet).
void insertNode(Compiler &c, int op, size_t at)
{
    if (c.out) {
        memmove(c.out + at + kNodeSize, c.out + at, c.size - at);
        c.out[at] = static_cast<unsigned char>(op);
        c.out[at + 1] = c.out[at + 2] = 0;
    }
    c.size += kNodeSize;
}

// Links the last node of the chain starting at 'p' to 'target'.
void linkTail(Compiler &c, size_t p, size_t target)
{
    if (!c.out) return;
    size_t scan = p;
    for (size_t n; (n = nextNode(c.out, scan)) != 0;) scan = n;
    size_t off = c.out[scan] == TW_RE_LOOP_BACK ? scan - target : target - scan;
    c.out[scan + 1] = static_cast<unsigned char>(off >> 8);
    c.out[scan + 2] = static_cast<unsigned char>(off & 0xff);
}

// linkTail on the operand of an ALTERNATIVE; nothing for other nodes.
void linkOperandTail(Compiler &c, size_t p, size_t target)
{
    if (!c.out || c.out[p] != TW_RE_ALTERNATIVE) return;
    linkTail(c, p + kNodeSize, target);
}

size_t compileAlternatives(Compiler &c, bool paren, int &flags);

// A bracket class; the parser stands after the "[".
size_t compileClass(Compiler &c)
{
    size_t ret;
    if (*c.parse == '^') {
        ret = emitNode(c, TW_RE_NOT_IN_SET);
        c.parse++;
    } else {
        ret = emitNode(c, TW_RE_IN_SET);
    }
    if (*c.parse == ']' || *c.parse == '-') emitByte(c, static_cast<unsigned char>(*c.parse++));
    while (*c.parse && *c.parse != ']') {
        if (*c.parse != '-') {
            emitByte(c, static_cast<unsigned char>(*c.parse++));
            continue;
        }
        c.parse++;
        if (*c.parse == ']' || *c.parse == '\0') {
            emitByte(c, '-');
            continue;
        }
        // The character before the "-" was added already; the range adds
        // the ones after it, up to and including the last.
        int from = static_cast<unsigned char>(c.parse[-2]) + 1;
        int to = static_cast<unsigned char>(*c.parse);
        if (from > to + 1) raise("invalid [] range");
        for (; from <= to; from++) emitByte(c, static_cast<unsigned char>(from));
        c.parse++;
    }
    emitByte(c, 0);
    if (*c.parse != ']') raise("unmatched []");
    c.parse++;
    return ret;
}

size_t compileAtom(Compiler &c, int &flags)
{
    flags = 0;
    size_t ret;
    char ch = *c.parse;
    switch (ch) {
    case '\0':
    case '|':
    case ')':
        raise("internal urp");  // the branch loop stops before these
    case '?':
    case '+':
    case '*':
        raise("?+* follows nothing");
    default:
        break;
    }
    c.parse++;
    switch (ch) {
    case '^':
        return emitNode(c, TW_RE_SUBJECT_START);
    case '$':
        return emitNode(c, TW_RE_SUBJECT_END);
    case '.':
        flags = HAS_WIDTH | SIMPLE;
        return emitNode(c, TW_RE_ANY_CHAR);
    case '[':
        flags = HAS_WIDTH | SIMPLE;
        return compileClass(c);
    case '(': {
        int inner;
        ret = compileAlternatives(c, true, inner);
        flags = inner & (HAS_WIDTH | STARTS_STARRED);
        return ret;
    }
    case '\\':
        if (*c.parse == '\0') raise("trailing \\");
        ret = emitNode(c, TW_RE_LITERAL);
        emitByte(c, static_cast<unsigned char>(*c.parse++));
        emitByte(c, 0);
        flags = HAS_WIDTH | SIMPLE;
        return ret;
    default:
        break;
    }
    // A run of ordinary characters. Before a multiplier the run gives up its
    // last character, which becomes the next atom and the multiplier's alone.
    c.parse--;
    size_t len = strcspn(c.parse, kSpecial);
    if (len == 0) raise("internal disaster");
    if (len > 1 && isMultiplier(c.parse[len])) len--;
    flags = HAS_WIDTH | (len == 1 ? SIMPLE : 0);
    ret = emitNode(c, TW_RE_LITERAL);
    while (len-- > 0) emitByte(c, static_cast<unsigned char>(*c.parse++));
    emitByte(c, 0);
    return ret;
}

size_t compilePiece(Compiler &c, int &flags)
{
    int atomFlags;
    size_t ret = compileAtom(c, atomFlags);
    char op = *c.parse;
    if (!isMultiplier(op)) {
        flags = atomFlags;
        return ret;
    }
    if (!(atomFlags & HAS_WIDTH) && op != '?') raise("*+ operand could be empty");
    flags = op == '+' ? HAS_WIDTH : op == '*' ? STARTS_STARRED : 0;

    if (op == '*' && (atomFlags & SIMPLE)) {
        insertNode(c, TW_RE_ZERO_OR_MORE, ret);
    } else if (op == '*') {
        // x* as (x LOOP_BACK | EMPTY)
        insertNode(c, TW_RE_ALTERNATIVE, ret);
        linkOperandTail(c, ret, emitNode(c, TW_RE_LOOP_BACK));
        linkOperandTail(c, ret, ret);
        linkTail(c, ret, emitNode(c, TW_RE_ALTERNATIVE));
        linkTail(c, ret, emitNode(c, TW_RE_EMPTY));
    } else if (op == '+' && (atomFlags & SIMPLE)) {
        insertNode(c, TW_RE_ONE_OR_MORE, ret);
    } else if (op == '+') {
        // x+ as x (LOOP_BACK to x | EMPTY)
        size_t loop = emitNode(c, TW_RE_ALTERNATIVE);
        linkTail(c, ret, loop);
        linkTail(c, emitNode(c, TW_RE_LOOP_BACK), ret);
        linkTail(c, loop, emitNode(c, TW_RE_ALTERNATIVE));
        linkTail(c, ret, emitNode(c, TW_RE_EMPTY));
    } else {
        // x? as (x | EMPTY)
        insertNode(c, TW_RE_ALTERNATIVE, ret);
        linkTail(c, ret, emitNode(c, TW_RE_ALTERNATIVE));
        size_t empty = emitNode(c, TW_RE_EMPTY);
        linkTail(c, ret, empty);
        linkOperandTail(c, ret, empty);
    }
    c.parse++;
    if (isMultiplier(*c.parse)) raise("nested *?+");
    return ret;
}

// One branch: an ALTERNATIVE node followed by its pieces (or by EMPTY).
size_t compileBranch(Compiler &c, int &flags)
{
    flags = 0;
    size_t ret = emitNode(c, TW_RE_ALTERNATIVE);
    size_t chain = 0;
    while (*c.parse && *c.parse != '|' && *c.parse != ')') {
        int pieceFlags;
        size_t latest = compilePiece(c, pieceFlags);
        flags |= pieceFlags & HAS_WIDTH;
        if (!chain)
            flags |= pieceFlags & STARTS_STARRED;
        else
            linkTail(c, chain, latest);
        chain = latest;
    }
    // An ALTERNATIVE's operand must be a node, even for an empty branch.
    if (!chain) emitNode(c, TW_RE_EMPTY);
    return ret;
}

// The whole expression (paren false) or a group after its "(".
size_t compileAlternatives(Compiler &c, bool paren, int &flags)
{
    flags = HAS_WIDTH;
    size_t ret = 0;
    int number = 0;
    if (paren) {
        if (c.groups >= 10) raise("too many ()");
        number = c.groups++;
        ret = emitNode(c, TW_RE_GROUP_START + number);
    }
    size_t last = 0;
    for (;;) {
        int branchFlags;
        size_t br = compileBranch(c, branchFlags);
        if (last)
            linkTail(c, last, br);
        else if (ret)
            linkTail(c, ret, br);
        else
            ret = br;
        last = br;
        if (!(branchFlags & HAS_WIDTH)) flags &= ~HAS_WIDTH;
        flags |= branchFlags & STARTS_STARRED;
        if (*c.parse != '|') break;
        c.parse++;
    }
    size_t ender = emitNode(c, paren ? TW_RE_GROUP_END + number : TW_RE_FINISH);
    linkTail(c, last, ender);
    if (c.out)
        for (size_t br = ret; br && br != ender; br = nextNode(c.out, br)) linkOperandTail(c, br, ender);
    if (paren) {
        if (*c.parse != ')') raise("unmatched ()");
        c.parse++;
    } else if (*c.parse) {
        raise(*c.parse == ')' ? "unmatched ()" : "junk on end");
    }
    return ret;
}

// Runs the parser over the whole pattern into 'out' (null: only count);
// returns the program size.
size_t compileProgram(const char *pattern, unsigned char *out, int &flags)
{
    Compiler c{pattern, 1, out, 0};
    emitByte(c, TW_RE_MAGIC);
    compileAlternatives(c, false, flags);
    return c.size;
}

// firstChar, anchored and mustContain from the finished program.
void setScanHints(twRegexpT *re, int flags)
{
    const unsigned char *prog = re->program;
    re->firstChar = 0;
    re->anchored = 0;
    re->mustContain = nullptr;
    re->mustLength = 0;
    const size_t first = 1;
    if (prog[nextNode(prog, first)] != TW_RE_FINISH) return;  // several alternatives
    size_t scan = first + kNodeSize;
    if (prog[scan] == TW_RE_LITERAL)
        re->firstChar = *operandOf(prog, scan);
    else if (prog[scan] == TW_RE_SUBJECT_START)
        re->anchored = 1;
    if (!(flags & STARTS_STARRED)) return;
    // Nodes on this chain are passed by every match; repeated operands and
    // the inside of loops and groups are not on it.
    size_t longest = 0;
    for (; scan; scan = nextNode(prog, scan)) {
        if (prog[scan] != TW_RE_LITERAL) continue;
        size_t len = strlen(operandOf(prog, scan));
        if (len >= longest) {
            longest = len;
            re->mustContain = operandOf(prog, scan);
        }
    }
    re->mustLength = static_cast<int>(longest);
}

// --- Matcher ----------------------------------------------------------------

enum Outcome { MATCHED, NO_MATCH, BAD_OPCODE, BROKEN_CHAIN, NOT_SIMPLE, TOO_DEEP };

enum FrameKind : uint32_t {
    FRAME_ALTERNATIVE,  // node: first ALTERNATIVE of the chain; count: next one to try (0: none)
    FRAME_REPEAT,       // node: the repetition; count: repetitions now tried
    FRAME_UNDO,         // node: group; pos, count: its start and end before (count as uintptr_t)
};

struct Frame {
    const char *pos;
    uintptr_t count;
    uint32_t node;
    uint32_t kind;
};

constexpr size_t kLocalFrames = 64;
// twMemRealloc takes a 32-bit size.
constexpr size_t kMaxFrames = (size_t{1} << 31) / sizeof(Frame);

// After this many backtracks in one twRegexpExec the failed pairs are kept.
constexpr long kDefaultMemoAfter = 4096;
long memoAfter = kDefaultMemoAfter;

// The memory is a bit row per choice node, one bit per subject position,
// made when the node first fails; nodes beyond the budget go unremembered
// (the search stays right, only slower).
constexpr size_t kMemoMaxRows = 1024;
constexpr size_t kMemoBudget = size_t{32} << 20;  // bytes of rows

// The last run of matches seen for a few repetition nodes. Every position
// inside a run reaches the same end, so a repetition entered there needs no
// new count; and once the repetition failed at one position of the run, the
// ends it would try from a later position all failed already, and from an
// earlier one only the ends before those are new. This keeps a failing
// unanchored search such as a.*b, and a nested one such as ^(a+)+b, linear.
struct KnownRun {
    const char *from;        // the run of the node's matches from here...
    const char *to;          // ...ends here
    const char *failedFrom;  // the repetition failed from here on; null: not known
    uint32_t node;           // 0: unused
};
constexpr size_t kRunCacheSize = 16;

// State of one twRegexpExec; plain data that lives in its frame.
struct Matcher {
    const unsigned char *prog;
    const char *subject;
    const char *slot[20];  // start[0..9], end[0..9] of the attempt under way
    // A group's slots need saving only once after each choice point: every
    // push or resumption of a choice starts a new generation, and a group
    // saved in the current one is not saved again.
    uint64_t generation;
    uint64_t savedIn[10];
    Frame *stack;  // 'local' until it runs out, then a heap block
    size_t depth;
    size_t capacity;
    uint16_t *memoRowOf;   // by node: its row + 1, 0 for none; null until enabled
    unsigned char **memo;  // the rows: bit p set when the node fails at subject + p
    size_t memoRows;
    size_t memoRowBytes;
    long backtracks;
    KnownRun runs[kRunCacheSize];  // by node number modulo the size
    Frame local[kLocalFrames];
};

void releaseMatcher(Matcher &m)
{
    if (m.stack != m.local) twMemFree(m.stack);
    if (!m.memoRowOf) return;
    for (size_t i = 0; i < m.memoRows; i++) twMemFree(m.memo[i]);
    twMemFree(m.memo);
    twMemFree(m.memoRowOf);
}

void releaseMatcherOnRaise(void *m)
{
    releaseMatcher(*static_cast<Matcher *>(m));
}

bool pushFrame(Matcher &m, const Frame &f)
{
    if (m.depth == m.capacity) {
        if (m.capacity >= kMaxFrames) return false;
        size_t grown = m.capacity * 2 < kMaxFrames ? m.capacity * 2 : kMaxFrames;
        auto bytes = static_cast<uint32_t>(grown * sizeof(Frame));
        if (m.stack == m.local) {
            auto *heap = static_cast<Frame *>(twMemMalloc(bytes, "twRegexp stack"));
            memcpy(heap, m.local, sizeof m.local);
            m.stack = heap;
        } else {
            m.stack = static_cast<Frame *>(twMemRealloc(m.stack, bytes, "twRegexp stack"));
        }
        m.capacity = grown;
    }
    m.stack[m.depth++] = f;
    if (f.kind != FRAME_UNDO) m.generation++;
    return true;
}

bool knownToFail(const Matcher &m, size_t node, const char *pos)
{
    if (!m.memoRowOf || !m.memoRowOf[node]) return false;
    auto at = static_cast<size_t>(pos - m.subject);
    return m.memo[m.memoRowOf[node] - 1][at >> 3] >> (at & 7) & 1;
}

void rememberFailure(Matcher &m, size_t node, const char *pos)
{
    if (!m.memoRowOf) return;
    if (!m.memoRowOf[node]) {
        if (m.memoRows == kMemoMaxRows || (m.memoRows + 1) * m.memoRowBytes > kMemoBudget) return;
        m.memo[m.memoRows++] = static_cast<unsigned char *>(
            twMemCalloc(static_cast<uint32_t>(m.memoRowBytes), 1, "twRegexp memo"));
        m.memoRowOf[node] = static_cast<uint16_t>(m.memoRows);
    }
    auto at = static_cast<size_t>(pos - m.subject);
    m.memo[m.memoRowOf[node] - 1][at >> 3] |= static_cast<unsigned char>(1u << (at & 7));
}

void countBacktrack(Matcher &m)
{
    if (m.memoRowOf || ++m.backtracks <= memoAfter) return;
    m.memoRowBytes = strlen(m.subject) / 8 + 1;
    if (m.memoRowBytes > kMemoBudget) return;  // not even one row: stay without
    m.memoRowOf = static_cast<uint16_t *>(
        twMemCalloc(static_cast<uint32_t>(kMaxProgram), sizeof(uint16_t), "twRegexp memo"));
    m.memo =
        static_cast<unsigned char **>(twMemCalloc(kMemoMaxRows, sizeof(unsigned char *), "twRegexp memo"));
    m.memoRows = 0;
}

bool inSet(const char *set, char ch)
{
    return ch != '\0' && strchr(set, ch) != nullptr;
}

// How many times in a row the simple node at 'node' matches from 'pos';
// false when the node is not simple.
bool runLength(const unsigned char *prog, size_t node, const char *pos, size_t &n)
{
    const char *opnd = operandOf(prog, node);
    n = 0;
    switch (prog[node]) {
    case TW_RE_ANY_CHAR:
        n = strlen(pos);
        return true;
    case TW_RE_LITERAL:
        while (pos[n] && pos[n] == *opnd) n++;
        return true;
    case TW_RE_IN_SET:
        while (inSet(opnd, pos[n])) n++;
        return true;
    case TW_RE_NOT_IN_SET:
        while (pos[n] && !inSet(opnd, pos[n])) n++;
        return true;
    default:
        return false;
    }
}

// False only when the branch that begins at 'node' certainly cannot match
// at a position whose character is 'ch'; looks at the first node alone.
bool mayStartWith(const unsigned char *prog, size_t node, char ch)
{
    const char *opnd = operandOf(prog, node);
    switch (prog[node]) {
    case TW_RE_ANY_CHAR:
        return ch != '\0';
    case TW_RE_LITERAL:
        return *opnd == ch;
    case TW_RE_IN_SET:
        return inSet(opnd, ch);
    case TW_RE_NOT_IN_SET:
        return ch != '\0' && !inSet(opnd, ch);
    case TW_RE_ONE_OR_MORE:
        return mayStartWith(prog, node + kNodeSize, ch);
    default:
        return true;
    }
}

// The first alternative from 'alt' on (following the ALTERNATIVE chain)
// that may match at 'pos', or 0.
size_t viableAlternative(const unsigned char *prog, size_t alt, const char *pos)
{
    for (; alt && prog[alt] == TW_RE_ALTERNATIVE; alt = nextNode(prog, alt))
        if (mayStartWith(prog, alt + kNodeSize, *pos)) return alt;
    return 0;
}

// Whether the simple node at 'node' matches the character (never the end).
bool matchesOne(const unsigned char *prog, size_t node, char ch)
{
    const char *opnd = operandOf(prog, node);
    switch (prog[node]) {
    case TW_RE_ANY_CHAR:
        return ch != '\0';
    case TW_RE_LITERAL:
        return ch != '\0' && ch == *opnd;
    case TW_RE_IN_SET:
        return inSet(opnd, ch);
    case TW_RE_NOT_IN_SET:
        return ch != '\0' && !inSet(opnd, ch);
    default:
        return false;
    }
}

enum RepeatStart { REPEAT_TRY, REPEAT_FAILS, REPEAT_NOT_SIMPLE };

// Entering the repetition 'rep' at 'pos': 'most' is how many times its
// node matches in a row there, 'hi' the largest count not known to fail.
RepeatStart startRepeat(Matcher &m, size_t rep, const char *pos, size_t min, size_t &most, size_t &hi)
{
    const unsigned char *prog = m.prog;
    size_t node = rep + kNodeSize;
    KnownRun &r = m.runs[rep % kRunCacheSize];
    bool known = false;
    if (r.node == rep && pos <= r.to) {
        const char *p = pos;
        while (p < r.from && matchesOne(prog, node, *p)) p++;
        if (p >= r.from) {
            known = true;
            if (pos < r.from) r.from = pos;
        }
    }
    if (!known) {
        size_t n;
        if (!runLength(prog, node, pos, n)) return REPEAT_NOT_SIMPLE;
        r = KnownRun{pos, pos + n, nullptr, static_cast<uint32_t>(rep)};
    }
    most = static_cast<size_t>(r.to - pos);
    hi = most;
    if (r.failedFrom) {
        if (pos >= r.failedFrom) return REPEAT_FAILS;
        // Ends at failedFrom + min and beyond have failed.
        size_t limit = static_cast<size_t>(r.failedFrom - pos) + min - 1;
        if (limit < hi) hi = limit;
    }
    return REPEAT_TRY;
}

// The repetition 'rep' failed at 'pos': every end it could reach failed.
void repeatFailed(Matcher &m, size_t rep, const char *pos)
{
    KnownRun &r = m.runs[rep % kRunCacheSize];
    if (r.node == rep && r.from <= pos && pos <= r.to && (!r.failedFrom || pos < r.failedFrom))
        r.failedFrom = pos;
}

// The character that must follow a repetition (the first of a LITERAL
// after it), or 0 when anything may.
char followingChar(const unsigned char *prog, size_t rep)
{
    size_t next = nextNode(prog, rep);
    return next && prog[next] == TW_RE_LITERAL ? *operandOf(prog, next) : '\0';
}

constexpr size_t kNoCount = SIZE_MAX;

// The largest count in [min, hi] after which 'must' follows (any when 0).
size_t fittingCount(const char *base, size_t hi, size_t min, char must)
{
    for (size_t k = hi; k != kNoCount && k >= min; k--)
        if (!must || base[k] == must) return k;
    return kNoCount;
}

// Sets a group slot (0..9 starts, 10..19 ends), saving the group's two
// slots first unless they were saved since the newest choice point.
bool setSlot(Matcher &m, int slot, const char *pos)
{
    int group = slot % 10;
    if (m.savedIn[group] != m.generation) {
        Frame undo{m.slot[group], reinterpret_cast<uintptr_t>(m.slot[10 + group]),
                   static_cast<uint32_t>(group), FRAME_UNDO};
        if (!pushFrame(m, undo)) return false;
        m.savedIn[group] = m.generation;
    }
    m.slot[slot] = pos;
    return true;
}

// Runs the program from the first node at 'pos'; on MATCHED, 'end' is
// where it stopped and m.slot holds the groups.
Outcome attempt(Matcher &m, const char *pos, const char *&end)
{
    const unsigned char *prog = m.prog;
    for (auto &s : m.slot) s = nullptr;
    // No choice point yet: nothing needs saving until the first.
    m.generation = 0;
    for (auto &g : m.savedIn) g = 0;
    m.depth = 0;
    size_t scan = 1;
    for (;;) {
        if (!scan) return BROKEN_CHAIN;
        size_t next = nextNode(prog, scan);
        unsigned op = prog[scan];
        bool ok = true;
        switch (op) {
        case TW_RE_FINISH:
            end = pos;
            return MATCHED;
        case TW_RE_SUBJECT_START:
            ok = pos == m.subject;
            break;
        case TW_RE_SUBJECT_END:
            ok = *pos == '\0';
            break;
        case TW_RE_ANY_CHAR:
            ok = *pos != '\0';
            pos += ok;
            break;
        case TW_RE_IN_SET:
            ok = inSet(operandOf(prog, scan), *pos);
            pos += ok;
            break;
        case TW_RE_NOT_IN_SET:
            ok = *pos != '\0' && !inSet(operandOf(prog, scan), *pos);
            pos += ok;
            break;
        case TW_RE_LITERAL: {
            const char *lit = operandOf(prog, scan);
            size_t len = strlen(lit);
            ok = *lit == *pos && strncmp(lit, pos, len) == 0;
            if (ok) pos += len;
            break;
        }
        case TW_RE_EMPTY:
        case TW_RE_LOOP_BACK:
            break;
        case TW_RE_ALTERNATIVE: {
            if (!next || prog[next] != TW_RE_ALTERNATIVE) {
                next = scan + kNodeSize;  // a single alternative is simply entered
                break;
            }
            if (knownToFail(m, scan, pos)) {
                ok = false;
                break;
            }
            // Alternatives that cannot start here are passed over, and with
            // a single one left no choice point is needed.
            size_t alt = viableAlternative(prog, scan, pos);
            if (!alt) {
                rememberFailure(m, scan, pos);
                ok = false;
                break;
            }
            size_t later = viableAlternative(prog, nextNode(prog, alt), pos);
            if (later && !pushFrame(m, {pos, later, static_cast<uint32_t>(scan), FRAME_ALTERNATIVE}))
                return TOO_DEEP;
            next = alt + kNodeSize;
            break;
        }
        case TW_RE_ZERO_OR_MORE:
        case TW_RE_ONE_OR_MORE: {
            if (knownToFail(m, scan, pos)) {
                ok = false;
                break;
            }
            size_t min = op == TW_RE_ONE_OR_MORE, most, hi;
            RepeatStart start = startRepeat(m, scan, pos, min, most, hi);
            if (start == REPEAT_NOT_SIMPLE) return NOT_SIMPLE;
            size_t k =
                start == REPEAT_FAILS ? kNoCount : fittingCount(pos, hi, min, followingChar(prog, scan));
            if (k == kNoCount) {
                repeatFailed(m, scan, pos);
                rememberFailure(m, scan, pos);
                ok = false;
                break;
            }
            if (!pushFrame(m, {pos, k, static_cast<uint32_t>(scan), FRAME_REPEAT})) return TOO_DEEP;
            pos += k;
            break;
        }
        default: {
            int slot;
            if (op > TW_RE_GROUP_START && op <= TW_RE_GROUP_START + 9)
                slot = static_cast<int>(op) - TW_RE_GROUP_START;
            else if (op > TW_RE_GROUP_END && op <= TW_RE_GROUP_END + 9)
                slot = 10 + static_cast<int>(op) - TW_RE_GROUP_END;
            else
                return BAD_OPCODE;
            if (!setSlot(m, slot, pos)) return TOO_DEEP;
            break;
        }
        }
        if (ok) {
            scan = next;
            continue;
        }

        // Back to the newest choice point that has something left to try.
        for (scan = 0; !scan;) {
            if (m.depth == 0) return NO_MATCH;
            Frame &f = m.stack[m.depth - 1];
            if (f.kind == FRAME_UNDO) {
                m.slot[f.node] = f.pos;
                m.slot[10 + f.node] = reinterpret_cast<const char *>(f.count);
                m.depth--;
                continue;
            }
            countBacktrack(m);
            m.generation++;
            if (f.kind == FRAME_ALTERNATIVE) {
                size_t alt = f.count;
                if (!alt) {
                    rememberFailure(m, f.node, f.pos);
                    m.depth--;
                    continue;
                }
                pos = f.pos;
                scan = alt + kNodeSize;
                f.count = viableAlternative(prog, nextNode(prog, alt), pos);
                // The last alternative needs the frame only to record its
                // failure in the memory.
                if (!f.count && !m.memoRowOf) m.depth--;
                continue;
            }
            size_t min = prog[f.node] == TW_RE_ONE_OR_MORE;
            size_t k =
                f.count > min ? fittingCount(f.pos, f.count - 1, min, followingChar(prog, f.node)) : kNoCount;
            if (k == kNoCount) {
                repeatFailed(m, f.node, f.pos);
                rememberFailure(m, f.node, f.pos);
                m.depth--;
                continue;
            }
            f.count = k;
            pos = f.pos + k;
            scan = nextNode(prog, f.node);
            if (!scan) return BROKEN_CHAIN;
        }
    }
}

bool subMatch(const twRegexpMatch *match, int n, const char *&s, size_t &len)
{
    if (!match || n < 0 || n > 9) return false;
    s = match->start[n];
    const char *e = match->end[n];
    if (!s || !e || e <= s) return false;
    len = static_cast<size_t>(e - s);
    return true;
}

}  // namespace

extern "C" void twRegexp_TestMemoAfter(long backtracks)
{
    memoAfter = backtracks < 0 ? kDefaultMemoAfter : backtracks;
}

twRegexpT *twRegexpCompile(const char *pattern)
{
    if (!pattern) raise("NULL argument");
    int flags;
    size_t size = compileProgram(pattern, nullptr, flags);
    if (size >= kMaxProgram) raise("regexp too big");
    auto *re =
        static_cast<twRegexpT *>(twMemMalloc(static_cast<uint32_t>(sizeof(twRegexpT) + size), "twRegexpT"));
    compileProgram(pattern, re->program, flags);
    setScanHints(re, flags);
    return re;
}

void twRegexpDestroy(twRegexpT *re)
{
    if (re) twMemFree(re);
}

int twRegexpExec(const twRegexpT *re, twRegexpMatch *match, const char *subject)
{
    if (!re || !subject) raise("NULL parameter");
    if (re->program[0] != TW_RE_MAGIC) raise("corrupted program");

    Outcome result = NO_MATCH;
    const char *at = subject, *end = nullptr;
    Matcher m;
    m.prog = re->program;
    m.subject = subject;
    m.stack = m.local;
    m.depth = 0;
    m.capacity = kLocalFrames;
    m.memoRowOf = nullptr;
    m.memo = nullptr;
    m.memoRows = m.memoRowBytes = 0;
    m.backtracks = 0;
    for (auto &r : m.runs) r = KnownRun{nullptr, nullptr, nullptr, 0};
    // A fault raised mid-match (a damaged program read past its end) takes
    // the grown stack and the failure memory with it.
    twUnwind unwind;
    tw_UnwindPush(&unwind, releaseMatcherOnRaise, &m);

    if (re->mustContain && !strstr(subject, re->mustContain)) {
        // Cannot match anywhere.
    } else if (re->anchored) {
        result = attempt(m, at, end);
    } else if (re->firstChar) {
        for (; (at = strchr(at, re->firstChar)) != nullptr; at++)
            if ((result = attempt(m, at, end)) != NO_MATCH) break;
    } else {
        for (;; at++) {
            // The terminating zero is a position too: an expression that
            // matches empty matches there.
            if ((result = attempt(m, at, end)) != NO_MATCH || !*at) break;
        }
    }
    tw_UnwindPop(&unwind);
    releaseMatcher(m);

    switch (result) {
    case MATCHED:
        break;
    case NO_MATCH:
        if (match) *match = twRegexpMatch{};
        return 0;
    case BAD_OPCODE:
        raise("memory corruption");
    case BROKEN_CHAIN:
        raise("corrupted pointers");
    case NOT_SIMPLE:
        raise("internal foulup");
    case TOO_DEEP:
        raise("backtrack stack overflow");
    }
    if (match) {
        for (int i = 1; i < 10; i++) {
            match->start[i] = m.slot[i];
            match->end[i] = m.slot[10 + i];
        }
        match->start[0] = at;
        match->end[0] = end;
    }
    return 1;
}

size_t twRegexpReplaceN(const twRegexpT *re, const twRegexpMatch *match, const char *templ, char *dest,
                        size_t size)
{
    if (!re || !match || !templ || (!dest && size)) raise("NULL parm to twRegexpReplace");
    if (re->program[0] != TW_RE_MAGIC) raise("damaged regexp fed to twRegexpReplace");
    size_t n = 0;  // length of the whole result so far
    for (const char *t = templ; *t; t++) {
        int no = -1;
        if (*t == '&')
            no = 0;
        else if (*t == '\\' && t[1] >= '0' && t[1] <= '9')
            no = *++t - '0';
        if (no < 0) {
            char ch = *t;
            if (ch == '\\' && (t[1] == '\\' || t[1] == '&')) ch = *++t;
            if (n + 1 < size) dest[n] = ch;
            n++;
            continue;
        }
        const char *s = match->start[no], *e = match->end[no];
        if (!s || !e) continue;
        if (e < s || memchr(s, '\0', static_cast<size_t>(e - s))) raise("damaged match string");
        size_t len = static_cast<size_t>(e - s);
        if (n + 1 < size) memcpy(dest + n, s, n + len < size ? len : size - 1 - n);
        n += len;
    }
    if (size) dest[n < size ? n : size - 1] = '\0';
    return n;
}

void twRegexpReplace(const twRegexpT *re, const twRegexpMatch *match, const char *templ, char *dest)
{
    if (!dest) raise("NULL parm to twRegexpReplace");
    twRegexpReplaceN(re, match, templ, dest, SIZE_MAX);
}

char *twRegexpGetMatchAlloc(const twRegexpMatch *match, int n)
{
    const char *s;
    size_t len;
    if (!subMatch(match, n, s, len)) return nullptr;
    if (len >= static_cast<size_t>(INT_MAX)) raise("match too long for a pool string");
    char *copy = twStrAlloc(static_cast<int>(len) + 1);
    memcpy(copy, s, len);
    copy[len] = '\0';
    return copy;
}

int twRegexpGetMatch(const twRegexpMatch *match, int n, char *buffer, int size)
{
    const char *s;
    size_t len;
    bool set = subMatch(match, n, s, len);
    if (!buffer || size <= 0) return set ? -1 : 0;
    if (!set) {
        buffer[0] = '\0';
        return 0;
    }
    size_t room = static_cast<size_t>(size) - 1;
    size_t copied = len <= room ? len : room;
    memcpy(buffer, s, copied);
    buffer[copied] = '\0';
    return copied == len ? 1 : -1;
}
