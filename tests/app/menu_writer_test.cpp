#include "app/menu_writer.h"

#include "app/menu_parser.h"
#include "reader_fixture.h"
#include "support/worked_example.h"

namespace {

class MenuWriterTest : public ReaderFixture {
protected:
    // Reads, links and writes the input; returns the script.
    std::string convert(const std::string &input)
    {
        open(input);
        ::testing::internal::CaptureStdout();
        while (readMenu()) {}
        ::testing::internal::GetCapturedStdout();
        resolveMenuLinks();
        char *buf = nullptr;
        size_t len = 0;
        FILE *out = open_memstream(&buf, &len);
        writeMenus(out);
        fclose(out);
        std::string script(buf, len);
        free(buf);
        return script;
    }
    static Menu *menuNamed(const char *name)
    {
        for (Menu *m = reader.menus; m; m = m->next)
            if (std::string(m->name) == name) return m;
        return nullptr;
    }
};

TEST_F(MenuWriterTest, WorkedExample)
{
    EXPECT_EQ(twtest::kExampleScript, convert(twtest::kExampleMenus));
}

TEST_F(MenuWriterTest, SharedSubMenuIsWrittenOnceBeforeItsFirstOpener)
{
    std::string script = convert("A { 0 0 0 0 s &S }\nB { 0 0 0 0 t &S }\nS { 0 0 0 0 x y }\n");
    EXPECT_EQ("S_menu := tcZr.MakeMenu(\"S\",\n                list(\"x\",\"y\"));\n\n"
              "A_menu := tcZr.MakeMenu(\"A\",\n                list(\"s\",S_menu));\n\n"
              "B_menu := tcZr.MakeMenu(\"B\",\n                list(\"t\",S_menu));\n\n"
              "\ntcFac.SetMenus (fac, S_menu);\n",
              script)
        << "the closing call names the last menu read, though it was written inside another";
    EXPECT_EQ(menuNamed("B")->entries, menuNamed("S")->referrer) << "the last link resolved wins";
}

// Menus in a cycle that no other menu opens, and menus that open only
// themselves, used to be left out of the script.
TEST_F(MenuWriterTest, CyclesAndSelfLinksOpenedByNoOtherMenuFollowInReadingOrder)
{
    std::string script = convert("P { 0 0 0 0 q &Q }\nQ { 0 0 0 0 p &P\n 0 0 0 0 s &S }\n"
                                 "R { 0 0 0 0 r &R }\nS {}\nT {}\n");
    EXPECT_EQ("T_menu := tcZr.MakeMenu(\"T\",\n);\n\n"
              "S_menu := tcZr.MakeMenu(\"S\",\n);\n\n"
              "Q_menu := tcZr.MakeMenu(\"Q\",\n                list(\"p\",P_menu),\n"
              "                list(\"s\",S_menu));\n\n"
              "P_menu := tcZr.MakeMenu(\"P\",\n                list(\"q\",Q_menu));\n\n"
              "R_menu := tcZr.MakeMenu(\"R\",\n                list(\"r\",R_menu));\n\n"
              "\ntcFac.SetMenus (fac, T_menu);\n",
              script);

    // A cycle below a menu that nobody opens is written with that menu.
    script = convert("Top { 0 0 0 0 a &A }\nA { 0 0 0 0 b &B }\nB { 0 0 0 0 a &A }\n");
    EXPECT_EQ("B_menu := tcZr.MakeMenu(\"B\",\n                list(\"a\",A_menu));\n\n"
              "A_menu := tcZr.MakeMenu(\"A\",\n                list(\"b\",B_menu));\n\n"
              "Top_menu := tcZr.MakeMenu(\"Top\",\n                list(\"a\",A_menu));\n\n"
              "\ntcFac.SetMenus (fac, B_menu);\n",
              script);
}

// Sub-menu chains deeper than the walk's first stack block, and a failing
// stream: the writer stops at the first write that fails.
TEST_F(MenuWriterTest, DeepChainsAndFailedWrites)
{
    std::string input;
    for (int i = 0; i < 40; ++i)
        input += "M" + std::to_string(i) + " { 0 0 0 0 n &M" + std::to_string(i + 1) + " }\n";
    std::string script = convert(input);
    EXPECT_EQ(0u,
              script.find("M39_menu := tcZr.MakeMenu(\"M39\",\n                list(\"n\",\"&M40\"));\n"));
    for (int i = 39; i > 0; --i)
        EXPECT_LT(script.find("M" + std::to_string(i) + "_menu :="),
                  script.find("M" + std::to_string(i - 1) + "_menu :="));

    FILE *full = fopen("/dev/full", "w");
    ASSERT_NE(nullptr, full);
    setvbuf(full, nullptr, _IONBF, 0);
    for (Menu *m = reader.menus; m; m = m->next) m->written = 0;
    EXPECT_EQ(-1, writeMenus(full)) << "the first menu's call cannot be written";
    EXPECT_EQ(-1, writeMenus(full)) << "nor, with every menu written, the closing call";
    fclose(full);
}

TEST_F(MenuWriterTest, LinksNeedAnExistingMenuAndUseTheFirstOfAName)
{
    std::string script = convert("D { 0 0 0 0 one two }\nD { 0 0 0 0 three four }\n"
                                 "M { 0 0 0 0 Label &D\n 0 0 0 0 Gone &Nowhere\n 0 0 0 0 p &zr_plot }\n");
    EXPECT_EQ(menuNamed("D"), reader.menus);
    EXPECT_EQ(reader.menus, reader.menus->next->next->entries->target);
    EXPECT_NE(std::string::npos, script.find("                list(\"Label\",D_menu),\n"
                                             "                list(\"Gone\",\"&Nowhere\"));\n"))
        << script;
    EXPECT_EQ(0u, script.find("D_menu := tcZr.MakeMenu(\"D\",\n                list(\"three\",\"four\"));\n\n"
                              "D_menu := tcZr.MakeMenu(\"D\",\n                list(\"one\",\"two\"));\n\n"))
        << "the second D, opened by nobody, is written at top level before M writes the first: " << script;
}

// Resolution looks names up a few entries ahead of the one it links; the
// links must still be those of a plain search of the list from its head,
// across menus with no entries, duplicate names and names no menu has.
TEST_F(MenuWriterTest, LinksAreThoseOfASearchFromTheHeadOfTheList)
{
    std::string input;
    for (int i = 0; i < 60; ++i) {
        input += "M" + std::to_string(i % 50) + " {";
        if (i % 3 != 0)
            for (int j = 1; j <= 1 + i % 4; ++j)
                input +=
                    " 0 0 0 0 e &M" + std::to_string((i * 7 + j * 13) % 70) + (j % 2 ? "" : " 0 0 0 0 f g");
        input += " }\n";
    }
    convert(input);
    size_t links = 0, entries = 0;
    MenuEntry *lastLinkTo[60] = {};
    for (Menu *m = reader.menus; m; m = m->next)
        for (MenuEntry *e = m->entries; e; e = e->next, ++entries) {
            Menu *want = e->action[0] == '&' ? menuNamed(e->action + 1) : nullptr;
            ASSERT_EQ(want, e->target) << m->name << " " << e->action;
            if (want) {
                links++;
                int index = 0;
                for (Menu *n = reader.menus; n != want; n = n->next) index++;
                lastLinkTo[index] = e;
            }
        }
    int index = 0;
    for (Menu *m = reader.menus; m; m = m->next, ++index)
        EXPECT_EQ(lastLinkTo[index], m->referrer) << m->name;
    EXPECT_GT(links, 40u);
    EXPECT_LT(links, entries) << "some names belong to no menu";
}

TEST_F(MenuWriterTest, MenusNamedLikeSpecialActionsAreLinked)
{
    std::string script = convert("zr_window { 0 0 0 0 a b }\nM { 0 0 0 0 W &zr_window\n 0 0 0 0 Q \"q\" }\n");
    EXPECT_NE(std::string::npos, script.find("list(\"W\",zr_window_menu),\n")) << script;
    EXPECT_EQ(std::string::npos, script.find("RedSquare"));
}

TEST_F(MenuWriterTest, NoMenusWritesAnEmptyScript)
{
    EXPECT_EQ("", convert("| only a comment\n"));
}

TEST_F(MenuWriterTest, TextIsWrittenUnquoted)
{
    std::string script = convert("M { 0 0 0 0 'say \"x\"' \"a,b\" }\n");
    EXPECT_NE(std::string::npos, script.find("list(\"say \"x\"\",\"a,b\"));\n")) << script;
}

}  // namespace
