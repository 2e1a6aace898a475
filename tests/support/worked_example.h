/* worked_example.h - the two-menu example and the exact script it converts to. */
#ifndef TW_TESTS_SUPPORT_WORKED_EXAMPLE_H
#define TW_TESTS_SUPPORT_WORKED_EXAMPLE_H

namespace twtest {

inline constexpr char kExampleMenus[] = "| example menus\n"
                                        "Tools {\n"
                                        "    0 0 0 0 \"Sort lines\" sort_lines\n"
                                        "    0 0 0 0 'Plot' \"&zr_plot\"\n"
                                        "    0 0 0 0 \"Count words\" \"wc -w\"\n"
                                        "}\n"
                                        "Main 1 {\n"
                                        "    0 0 0 0 \"Open\" \"open_file\"\n"
                                        "    0 0 0 0 \"Tools\" \"&Tools\"\n"
                                        "    0 0 0 0 \"Window\" \"&zr_window\"\n"
                                        "}\n";

inline constexpr char kExampleScript[] = "Tools_menu := tcZr.MakeMenu(\"Tools\",\n"
                                         "                list(\"Sort lines\",\"sort_lines\"),\n"
                                         "                list(\"Count words\",\"wc -w\"));\n"
                                         "\n"
                                         "Main_menu := tcZr.MakeMenu(\"Main\",\n"
                                         "                list(\"Open\",\"open_file\"),\n"
                                         "                list(\"Tools\",Tools_menu),\n"
                                         "                tcWin.RedSquareEntry);\n"
                                         "\n"
                                         "\n"
                                         "tcFac.SetMenus (fac, Main_menu);\n";

}  // namespace twtest

#endif
