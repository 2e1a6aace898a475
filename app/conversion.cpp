/* conversion.cpp - locating and reading menu files.
 *
 * The input file and every included file are found by the working-directory
 * search. One level of inclusion is allowed: the stream of the including
 * file waits in reader.savedStream while the included file is read.
 */
#include "app/conversion.h"

#include <cstdio>

#include "app/menu_parser.h"
#include "app/menu_records.h"
#include "tslib/path.h"
#include "tslib/search.h"
#include "twlib/core/exit.h"

void abandonConversion(int status)
{
    if (reader.stream) fclose(reader.stream);
    if (reader.savedStream && reader.savedStream != reader.stream) fclose(reader.savedStream);
    reader.stream = reader.savedStream = nullptr;
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

    FILE *outer = reader.savedStream;
    reader.savedStream = reader.stream;
    reader.stream = fopen(path, "r");
    if (!reader.stream) {
        printf("Unable to open file %s\n", path);
        reader.stream = reader.savedStream;
        reader.savedStream = outer;
        return;
    }
    printf("Reading %s ...\n", path);

    if (++reader.nesting == 1) reader.keys = buildMenuKeys();
    while (readMenu()) {
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
