/* menu_lexer.cpp - the menu-definition lexer over the stream tokenizer. */
#include "app/menu_lexer.h"

#include <array>
#include <climits>
#include <cstring>

#include "app/menu_records.h"
#include "twlib/text/chars.h"

// Every keyword character is also a separator, so each is a token of its own.
static const char SEPARATORS[] = "\" \t\n{}|'";
static const char BLANKS[] = " \t\n";

// The characters of the keywords. Every keyword is one separator
// character, so only a one-character token can be one, and only when it is
// one of these.
static constexpr std::array<bool, 256> KEYWORD_CHAR = [] {
    std::array<bool, 256> is{};
    for (const MenuKeyword &k : MENU_KEYWORDS) is[(unsigned char)k.text[0]] = true;
    return is;
}();

// Reads a token: the code of the first of the keys (built by buildMenuKeys)
// that it equals, 0 for another token, TOK_END at the end of the input.
// The keys are compared here rather than by the tokenizer: knowing them to
// be single characters, a token is settled by one look at its first two.
[[gnu::always_inline]] static inline int lex(const char *delimiters, const char *skips, const MenuKey *keys)
{
    int code = twTklex(reader.stream, reader.token, MENU_TOKEN_SIZE, delimiters, skips, nullptr);
    unsigned char c = (unsigned char)reader.token[0];
    if (code != 0 || reader.token[1] != '\0' || !KEYWORD_CHAR[c]) return code;
    for (const MenuKey *k = keys; k; k = k->next)
        if ((unsigned char)k->text[0] == c) return k->code;
    return 0;
}

// The next token that is not a comment. This and readQuoted are the two
// places every token is read from; each takes the tokenizer in line where
// the whole program is optimised at link time (flatten), so that the sets
// and sizes passed are constants to it.
[[gnu::flatten]] static int nextToken()
{
    for (;;) {
        int code = lex(SEPARATORS, BLANKS, reader.keys);
        if (code != TOK_BAR) return code;
        skipComment();
    }
}

// Copies the token, cut to size - 1 characters, in one pass. A destination
// as large as the token buffer takes the whole buffer, NUL and all, in one
// fixed-size copy.
static void copyToken(char *dst, int size)
{
    if (size >= MENU_TOKEN_SIZE) {
        memcpy(dst, reader.token, MENU_TOKEN_SIZE);
        return;
    }
    int i = 0;
    for (; i < size - 1 && reader.token[i] != '\0'; ++i) dst[i] = reader.token[i];
    dst[i] = '\0';
}

// The value of the word's leading digits. A value beyond the 32-bit range
// saturates instead of overflowing.
static int leadingDigitsValue(const char *word)
{
    long long value = 0;
    for (const char *p = word; tw_IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return (int)value;
}

// Reads the rest of a quoted string whose opening quote (token code 'quote')
// has been read. The string ends at the matching quote, which is consumed,
// or at the end of the input; an opening quote that is the last character of
// the input gives the empty string.
[[gnu::flatten]] static void readQuoted(char *dst, int size, int quote)
{
    const char *delimiter = quote == TOK_DQUOTE ? "\"" : "'";
    int code = lex(delimiter, "", reader.keys);
    if (code == quote || code == TOK_END) {
        dst[0] = '\0';
        return;
    }
    copyToken(dst, size);
    lex(delimiter, "", nullptr);
}

void skipComment()
{
    if (lex("\n", "", nullptr) == TOK_END) return;
    if (strcmp(reader.token, "\n") == 0) return;
    lex("\n", "", nullptr);
}

int skipPast(int code)
{
    const MenuKey *key = reader.keys;
    while (key && key->code != code) key = key->next;
    if (!key) return 0;
    int got = lex(key->text, "", reader.keys);
    if (got == TOK_END) return 0;
    if (got != code) lex(key->text, "", nullptr);
    return 1;
}

int readWord(char *dst, int size)
{
    int code = nextToken();
    if (code == TOK_WORD) copyToken(dst, size);
    return code;
}

int readInt(int *dst)
{
    int code = nextToken();
    if (code != TOK_WORD) return code;
    if (tw_IsDigit(reader.token[0])) {
        *dst = leadingDigitsValue(reader.token);
        return 0;
    }
    // A word such as "x7": its first character tells the parser no integer
    // came. Characters whose value equals a token code (NUL, the control
    // characters 1 to 6, the byte 0xFF) must not pass for one.
    int value = (signed char)reader.token[0];
    return (value >= TOK_END && value <= TOK_STRING) ? TOK_NOT_INT : value;
}

int readString(char *dst, int size)
{
    int code = nextToken();
    if (code == TOK_WORD) {
        copyToken(dst, size);
        return 0;
    }
    if (code == TOK_DQUOTE || code == TOK_SQUOTE) {
        readQuoted(dst, size, code);
        return 0;
    }
    return code;
}

int readIntOrString(char *dst, int size, int *num)
{
    int code = nextToken();
    if (code == TOK_WORD) {
        if (tw_IsDigit(reader.token[0])) {
            *num = leadingDigitsValue(reader.token);
            return 0;
        }
        copyToken(dst, size);
        return TOK_STRING;
    }
    if (code == TOK_DQUOTE || code == TOK_SQUOTE) readQuoted(dst, size, code);
    return code;
}
