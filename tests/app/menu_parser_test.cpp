#include "app/menu_parser.h"

#include "reader_fixture.h"

namespace {

using ::testing::ElementsAre;

class MenuParserTest : public ReaderFixture {
protected:
    // Reads every menu of the input; returns what was printed.
    std::string readAll(const std::string &input)
    {
        open(input);
        ::testing::internal::CaptureStdout();
        int guard = 0;
        while (readMenu() && ++guard < 10000) {}
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(MenuParserTest, StrictMenusWithAndWithoutHeader)
{
    std::string out = readAll("| menus\nEmpty {}\nFive 5 {\n 1 2 3 4 \"L\" act\n 0 0 0 0 12abc 'x y'\n}\n");
    EXPECT_EQ("", out);
    EXPECT_THAT(menus(), ElementsAre("Empty(99):", "Five(5): L=act; 12abc=x y;"));
}

TEST_F(MenuParserTest, HeaderValuesByCount)
{
    std::string out = readAll("A 1 2 3 4 {}\nB 7 0 {}\nC 0 0 0 {}\n");
    EXPECT_EQ("Error in menu \"A\" - Excess data in menu definition\n", out);
    EXPECT_THAT(menus(), ElementsAre("A(1):", "B(99):", "C(0):"));
}

TEST_F(MenuParserTest, FreeFormAcceptsBothEntryShapes)
{
    std::string out = readAll("F 0 1 {\n 1 2 3 4 \"a\" \"b\"\n \"c\" d\n e 'f'\n 12abc 0 0 0 g h\n}\n");
    EXPECT_EQ("", out);
    EXPECT_THAT(menus(), ElementsAre("F(99): a=b; c=d; e=f; g=h;"))
        << "12abc as the first token of an entry starts the integer form";
}

TEST_F(MenuParserTest, StringsWhereEntryIntegersBelong)
{
    std::string out = readAll("M {\n \"a\" \"b\" 1 2 3 4 L A\n}\n");
    EXPECT_EQ("Error in menu \"M\" - Integer expected in entry definition\n"
              "Error in menu \"M\" - Integer expected in entry definition\n",
              out);
    EXPECT_THAT(menus(), ElementsAre("M(99): L=A;"));
}

TEST_F(MenuParserTest, NameErrorsAreSkippedOncePerConstruct)
{
    std::string out = readAll("\"quoted\" { 1 } } 'x' Real {}\n");
    EXPECT_EQ("Expected to find menu name\nExpected to find menu name\n"
              "Expected to find menu name\nExpected to find menu name\n",
              out);
    EXPECT_THAT(menus(), ElementsAre("Real(99):"));
}

TEST_F(MenuParserTest, HeaderErrorsAndEndOfInputAfterName)
{
    std::string out = readAll("H x \"s\" } 2 {}\nLast");
    EXPECT_EQ("Error in menu \"H\" - Integer expected in menu definition\n"
              "Error in menu \"H\" - Integer expected in menu definition\n"
              "Error in menu \"H\" - Integer expected in menu definition\n"
              "Error in menu \"Last\" - Unexpected end-of-menu\n",
              out);
    EXPECT_THAT(menus(), ElementsAre("H(2):")) << "no menu for a name at end of input";
}

TEST_F(MenuParserTest, BodyErrorsEndTheMenuAndKeepCompleteEntries)
{
    std::string out =
        readAll("A {\n 0 0 0 0 a b\n 0 0 } \nB {\n 0 { 0 0 0 x { y\n 0 0 0 0 z }\nC {\n 0 0 0 0 p q\n 0 0");
    EXPECT_EQ("Error in menu \"A\" - Unexpected end-of-entry\n"
              "Error in menu \"B\" - Unexpected menu body\n"
              "Error in menu \"B\" - Unexpected menu body\n"
              "Error in menu \"B\" - Unexpected end-of-entry\n"
              "Error in menu \"C\" - Unexpected end-of-menu\n",
              out);
    EXPECT_THAT(menus(), ElementsAre("A(99): a=b;", "B(99): x=y;", "C(99): p=q;"));
}

TEST_F(MenuParserTest, IncludeInsideAnIncludedFileIsDropped)
{
    open("@other A {}\n");
    reader.nesting = 2;
    ::testing::internal::CaptureStdout();
    while (readMenu()) {}
    EXPECT_EQ("Only one level of indirection allowed\n", ::testing::internal::GetCapturedStdout());
    EXPECT_THAT(menus(), ElementsAre("A(99):"));
}

TEST_F(MenuParserTest, LongNamesAndLabelsAreTruncatedTo79)
{
    std::string name(100, 'n'), label(90, 'l');
    readAll(name + " {\n 0 0 0 0 " + label + " a\n}\n");
    ASSERT_NE(nullptr, reader.menus);
    EXPECT_EQ(std::string(79, 'n'), reader.menus->name);
    EXPECT_EQ(std::string(79, 'l'), reader.menus->entries->label);
}

}  // namespace
