/* main.cpp - pagelift: converts a brace-structured menu-definition file into
 * a menu script for the newer menu system.
 *
 * Usage: pagelift infile outfile. Progress and input errors go to standard
 * output; input errors never stop the conversion. Exit status 0 after a run
 * that wrote its output; 2 for a usage error, an input or included file that
 * cannot be located, opened or read, or an output file that cannot be
 * opened or written; 3 when memory runs out.
 */
#include "app/conversion.h"

int main(int argc, char **argv)
{
    convertMenus(argc, argv);
}
