#include "core/text.h"

#include <string>

#include <gtest/gtest.h>

using namespace velmora;

TEST(Text, TextPos)
{
    struct Row
    {
        const char *needle;
        const char *s;
        int expected;
    };
    const Row rows[] = {
        {"b", "abcb", 2},
        {"abc", "abc", 1},
        {"bc", "abcbc", 2},
        {"x", "abc", 0},
        {"", "abc", 0},
        {"a", "", 0},
        {"", "", 0},
        {"abcd", "abc", 0},
        {"<title>", "<TITLE>x</TITLE>", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("needle \"") + row.needle + "\" in \"" + row.s + "\"");
        EXPECT_EQ(TextPos(row.needle, row.s), row.expected);
    }
}

TEST(Text, TextSlice)
{
    struct Row
    {
        const char *s;
        int start;
        int count;
        const char *expected;
    };
    const Row rows[] = {
        {"abcdef", 1, 3, "abc"},
        {"abcdef", 4, 3, "def"},
        {"abcdef", 5, 3, "ef"},
        {"abcdef", 6, 1, "f"},
        {"abcdef", 7, 1, ""},
        {"abcdef", 0, 2, "ab"},
        {"abcdef", -5, 2, "ab"},
        {"abcdef", 2, 0, ""},
        {"abcdef", 2, -1, ""},
        {"", 1, 5, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("\"") + row.s + "\" from " + std::to_string(row.start) + " count "
                     + std::to_string(row.count));
        EXPECT_EQ(TextSlice(row.s, row.start, row.count), row.expected);
    }
}

TEST(Text, TextBeforeAndAfter)
{
    EXPECT_EQ(TextBefore("abc.def.ghi", "."), "abc");
    EXPECT_EQ(TextBefore("abc</x>def", "</x>"), "abc");
    EXPECT_EQ(TextBefore("abc", "."), "");
    EXPECT_EQ(TextBefore(".abc", "."), "");
    EXPECT_EQ(TextBefore("", "."), "");

    EXPECT_EQ(TextAfter("ab_cd_ef", '_'), "cd_ef");
    EXPECT_EQ(TextAfter("abc", '_'), "abc");
    EXPECT_EQ(TextAfter("abc_", '_'), "");
    EXPECT_EQ(TextAfter("", '_'), "");
}

TEST(Text, TrimRemovesControlBytesAndBlanksOnly)
{
    struct Row
    {
        std::string s;
        std::string expected;
    };
    const Row rows[] = {
        {" \t\r\n96\r\n ", "96"},
        {"a b", "a b"},
        {std::string("\x01\x1f a\x7f \x20", 7), "a\x7f"},
        {"\xD4\xC4 ", "\xD4\xC4"},
        {" \r\n\t", ""},
        {"", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("\"" + row.s + "\"");
        EXPECT_EQ(Trim(row.s), row.expected);
    }
}
