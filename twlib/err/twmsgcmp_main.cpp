/* twmsgcmp_main.cpp - the message compiler as a program.
 *
 *     twmsgcmp [-v] header [output]
 *
 * Compiles the message header into a binary message file: 'output', or by
 * default the header's name with the extension "tmb" in place of its own.
 * Every problem is printed on standard error as "header:line: error:
 * <what>" (with the message number where there is one); -v also lists the
 * lines that are not message definitions. All problems of a header are
 * shown in one run, and a header with any problem leaves no output file, so
 * that a build never takes a half-written one for a good one.
 *
 * Exit status: 0 compiled, 1 the header has problems or the output cannot
 * be written, 2 usage error or a file that cannot be opened.
 */
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tslib/dufs.h"
#include "twlib/core/mem.h"
#include "twlib/err/msgcomp.h"

namespace {

const char usage[] = "usage: twmsgcmp [-v] header [output]\n"
                     "  Compiles a message header into a binary message file (default: the\n"
                     "  header's name with the extension .tmb).\n";

struct Run {
    const char *header;  // the header's name as given, for the messages
    bool verbose;
    int problems;
};

int reportLine(int code, int line, int number, const char *text, void *data)
{
    auto *run = static_cast<Run *>(data);
    if (code == TW_MSGCOMP_COMPILED) return 0;
    if (code == TW_MSGCOMP_NOT_MESSAGE) {
        if (run->verbose) fprintf(stderr, "%s:%d: note: %s\n", run->header, line, twMsgCompCodeText(code));
        return 0;
    }
    run->problems++;
    if (code == TW_MSGCOMP_NO_STREAM || code == TW_MSGCOMP_WRITE_FAILED) {
        fprintf(stderr, "twmsgcmp: %s\n", twMsgCompCodeText(code));
        return 1;
    }
    fprintf(stderr, "%s:%d: error: ", run->header, line);
    if (number) fprintf(stderr, "message %d: ", number);
    fprintf(stderr, "%s\n", twMsgCompCodeText(code));
    if (text && *text) fprintf(stderr, "    %.200s\n", text);
    // Go on: the line is skipped and later problems are reported too.
    return 0;
}

// The header's name with its extension replaced by "tmb"; static storage.
const char *defaultOutput(const char *header)
{
    static char name[4096];
    const char *slash = strrchr(header, '/');
    const char *base = slash ? slash + 1 : header;
    const char *dot = strrchr(base, '.');
    size_t stem = dot && dot != base ? static_cast<size_t>(dot - header) : strlen(header);
    if (stem + 5 > sizeof name) return nullptr;
    memcpy(name, header, stem);
    memcpy(name + stem, ".tmb", 5);
    return name;
}

}  // namespace

int main(int argc, char **argv)
{
    Run run = {nullptr, false, 0};
    const char *output = nullptr;
    int i = 1;
    if (i < argc && strcmp(argv[i], "-v") == 0) {
        run.verbose = true;
        i++;
    }
    if (i < argc && argv[i][0] == '-' && argv[i][1]) {
        fprintf(stderr, "twmsgcmp: unknown option `%s'\n%s", argv[i], usage);
        return 2;
    }
    if (argc - i < 1 || argc - i > 2) {
        fputs(usage, stderr);
        return 2;
    }
    run.header = argv[i];
    output = argc - i == 2 ? argv[i + 1] : defaultOutput(run.header);
    if (!output) {
        fprintf(stderr, "twmsgcmp: the name `%s' is too long\n", run.header);
        return 2;
    }

    FILE *header = fopen(run.header, "r");
    if (!header) {
        fprintf(stderr, "twmsgcmp: can't open message header `%s': %s\n", run.header, strerror(errno));
        return 2;
    }
    twDufsB *out = twDufsBFopen(output, "w");
    if (!out) {
        fprintf(stderr, "twmsgcmp: can't create message file `%s': %s\n", output, strerror(errno));
        fclose(header);
        return 2;
    }
    int result = twMsgCompCompile(header, out, reportLine, &run);
    fclose(header);
    if (twDufsBFclose(out) != 0 && result == 0) {
        fprintf(stderr, "twmsgcmp: %s\n", twMsgCompCodeText(TW_MSGCOMP_WRITE_FAILED));
        result = TW_MSGCOMP_WRITE_FAILED;
    }
    if (result != 0 || run.problems) {
        remove(output);
        fprintf(stderr, "twmsgcmp: %s: %d problem%s, no message file written\n", run.header, run.problems,
                run.problems == 1 ? "" : "s");
        return 1;
    }
    return 0;
}
