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
        while (readMenu()) {
        }
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

TEST_F(MenuWriterTest, CyclesAndSelfLinksAreNotWrittenAtTopLevel)
{
    std::string script = convert("P { 0 0 0 0 q &Q }\nQ { 0 0 0 0 p &P }\nR { 0 0 0 0 r &R }\nT {}\n");
    EXPECT_EQ("T_menu := tcZr.MakeMenu(\"T\",\n);\n\n\ntcFac.SetMenus (fac, T_menu);\n", script);
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
        << "the second D, opened by nobody, is written at top level before M writes the first: "
        << script;
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

} // namespace
