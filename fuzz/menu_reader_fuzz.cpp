// Fuzz target for the converter's reader: any bytes as a menu file are
// lexed, parsed, linked and written without a fault, every menu is written,
// and every record is released again. Include directives are refused here
// (as inside an included file) so that the run never touches the file system.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/menu_parser.h"
#include "app/menu_records.h"
#include "app/menu_writer.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The parser reports on standard output; the messages are not the point.
    if (!freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    std::vector<char> text(data, data + size);
    reader.stream = fmemopen(text.data(), text.size(), "r");
    if (!reader.stream) return 0;
    reader.keys = buildMenuKeys();
    reader.nesting = 2;
    while (readMenu()) {}
    fclose(reader.stream);
    reader.stream = nullptr;
    freeMenuKeys(reader.keys);
    reader.keys = nullptr;
    reader.nesting = 0;

    resolveMenuLinks();
    FILE *out = fopen("/dev/null", "w");
    if (out) {
        if (writeMenus(out) != 0) abort();
        fclose(out);
        // Every menu is in the script, also those that only open one
        // another in a cycle.
        for (const Menu *m = reader.menus; m; m = m->next)
            if (!m->written) abort();
    }
    freeMenus();
    return 0;
}
