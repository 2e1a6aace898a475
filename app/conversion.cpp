/* conversion.cpp - locating and reading menu files.
 *
 * The input file and every included file are found by the working-directory
 * search. One level of inclusion is allowed: the stream of the including
 * file waits in reader.savedStream while the included file is read. A file
 * that cannot be located, opened or read completely ends the conversion
 * with status 2 before anything is written.
 */
#include "app/conversion.h"

#include <cstdint>
#include <cstdio>

#include <sys/stat.h>

#include "app/heap_reserve.h"
#include "app/menu_parser.h"
#include "app/menu_records.h"
#include "app/menu_writer.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"
#include "twlib/core/mem.h"

constexpr uint32_t INPUT_BUFFER_SIZE = 1 << 16;

// The stdio buffers of the open menu files, by nesting level when opened.
// stdio takes a buffer size only together with a buffer, so the converter
// gives its own; each one lives until its stream is closed.
static char *inputBuffers[2];

static void releaseInputBuffer(int level)
{
    twMemFree(inputBuffers[level]);
    inputBuffers[level] = nullptr;
}

void abandonConversion(int status)
{
    if (reader.stream) fclose(reader.stream);
    if (reader.savedStream && reader.savedStream != reader.stream) fclose(reader.savedStream);
    reader.stream = reader.savedStream = nullptr;
    for (int level = 0; level < 2; ++level)
        if (inputBuffers[level]) releaseInputBuffer(level);
    freeMenuKeys(reader.keys);
    reader.keys = nullptr;
    reader.nesting = 0;
    freeMenus();
    twExit(status);
}

void readMenuFile(const char *name)
{
    // Room for any path the search can return.
    char path[TS_PATH_SIZE] = "";
    int found = tsGetini(name, path);
    if (found == 4) {
        printf("File %s does not exist\n", name);
        abandonConversion(2);
    }
    if (found == 7) {
        // The search refuses names it cannot split before it fills the buffer.
        printf("Unable to open file %s\n", path[0] ? path : name);
        abandonConversion(2);
    }

    FILE *stream = fopen(path, "r");
    if (!stream) {
        // Going on without the file would write a script that silently
        // lacks its menus: like a file that cannot be located, it stops the
        // conversion before anything is written.
        printf("Unable to open file %s\n", path);
        abandonConversion(2);
    }
    // The tokenizer scans the stream's buffer; a larger one than stdio's
    // default makes fewer, larger reads.
    int level = reader.nesting;
    if (level < 2) {
        inputBuffers[level] = static_cast<char *>(twMemMalloc(INPUT_BUFFER_SIZE, "menu input buffer"));
        setvbuf(stream, inputBuffers[level], _IOFBF, INPUT_BUFFER_SIZE);
    }
    // The records of a conversion take about twice the input file.
    struct stat st;
    if (level == 0 && fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode))
        reserveHeap(size_t(st.st_size) / 2 * 5);
    readMenuStream(stream, path);
    if (level < 2) releaseInputBuffer(level);
}

void readMenuStream(FILE *stream, const char *path)
{
    FILE *outer = reader.savedStream;
    reader.savedStream = reader.stream;
    reader.stream = stream;
    printf("Reading %s ...\n", path);

    if (++reader.nesting == 1) reader.keys = buildMenuKeys();
    // The lexer takes a read error for the end of the input, so the error
    // flag is looked at after every menu: a file read only in part stops the
    // conversion.
    while (readMenu() && !ferror(reader.stream)) {}
    if (ferror(reader.stream)) {
        printf("Unable to read file %s\n", path);
        abandonConversion(2);
    }
    if (reader.nesting == 1) {
        freeMenuKeys(reader.keys);
        reader.keys = nullptr;
    }
    fclose(reader.stream);
    reader.nesting--;
    reader.stream = reader.savedStream;
    reader.savedStream = outer;
}

void convertMenus(int argc, char **argv)
{
    if (argc < 3) {
        fputs("\nIncorrect number of arguments:  pagelift infile outfile\n\n", stderr);
        twExit(2);
    }
    readMenuFile(argv[1]);
    resolveMenuLinks();
    if (writeMenuScript(argv[2]) != 0) abandonConversion(2);
    freeMenus();
    twGoodbye();
}
