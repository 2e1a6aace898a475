/* main.cpp - pagelift: converts a brace-structured menu-definition file into
 * a menu script for the newer menu system.
 *
 * Usage: pagelift infile outfile. Progress and input errors go to standard
 * output; input errors never stop the conversion. Exit status 0 after a run
 * that wrote its output (or failed to open it), 2 for a usage error or an
 * input file that cannot be located.
 */
#include <cstdio>

#include "app/conversion.h"
#include "app/menu_records.h"
#include "app/menu_writer.h"
#include "twlib/core/exit.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fputs("\nIncorrect number of arguments:  pagelift infile outfile\n\n", stderr);
        twExit(2);
    }
    readMenuFile(argv[1]);
    resolveMenuLinks();
    writeMenuScript(argv[2]);
    freeMenus();
    twGoodbye();
}
