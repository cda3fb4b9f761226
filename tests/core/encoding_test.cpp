#include "core/encoding.h"

#include <string>

#include <gtest/gtest.h>

using namespace velmora;

TEST(Utf8ToGbk, ConvertsOrReplacesEachCharacter)
{
    struct Row
    {
        const char *name;
        std::string utf8;
        std::string gbk;
    };
    const Row rows[] = {
        {"ascii", "<title>A & B</title>\r\n", "<title>A & B</title>\r\n"},
        {"site name", "Velmora阅读", "Velmora\xD4\xC4\xB6\xC1"},
        {"second byte is a backslash", "昞", "\x95\x5C"},
        {"second byte is a bar", "晐", "\x95\x7C"},
        {"euro sign", "€", "\x80"},
        {"emoji becomes one question mark", "a😀b", "a?b"},
        {"bullet GBK lacks", "•x", "?x"},
        {"byte order mark GBK lacks", "\xEF\xBB\xBFok", "?ok"},
        {"empty", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8ToGbk(row.utf8), row.gbk);
    }
}

TEST(Utf8ToGbk, InvalidUtf8EmptiesTheWholeText)
{
    struct Row
    {
        const char *name;
        std::string utf8;
    };
    const Row rows[] = {
        {"sequence cut short at the end", "阅读\xE9\x98"},
        {"continuation byte missing", "a\xE9\x98" "bcd"},
        {"stray continuation byte", "a\x80z"},
        {"GBK bytes", "Velmora\xD4\xC4\xB6\xC1"},
        {"overlong slash", "a\xC0\xAF"},
        {"surrogate", "a\xED\xA0\x80"},
        {"above U+10FFFF", "a\xF4\x90\x80\x80"},
        {"byte FF", "\xFF"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8ToGbk(row.utf8), "");
    }
}

TEST(Utf8ToGbk, LongTextRoundTrips)
{
    // Larger than the converter's working buffer, with an unrepresentable character
    // in the middle.
    std::string utf8;
    std::string gbk;
    for (int i = 0; i < 5000; ++i) {
        utf8 += "阅读";
        gbk += "\xD4\xC4\xB6\xC1";
        if (i == 2500) {
            utf8 += "😀";
            gbk += "?";
        }
    }
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), utf8.replace(utf8.find("😀"), 4, "?"));
}

TEST(GbkToUtf8, ConvertsAndMarksInvalidBytes)
{
    struct Row
    {
        const char *name;
        std::string gbk;
        std::string utf8;
    };
    const Row rows[] = {
        {"title", "\xD1\xF9\xBF\xAF 2011", "样刊 2011"},
        {"second byte is a backslash", "\x95\x5C\\", "昞\\"},
        {"lead byte cut off at the end", "A\xD4", "A\xEF\xBF\xBD"},
        {"unknown pair ending in a backslash is one character", "\xA1\x5C" "x", "\xEF\xBF\xBD" "x"},
        {"lead byte before a blank", "\x81 x", "\xEF\xBF\xBD x"},
        {"byte FF", "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
        {"empty", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(GbkToUtf8(row.gbk), row.utf8);
    }
}

TEST(NormaliseLines, EveryLineEndsWithCrLf)
{
    struct Row
    {
        const char *name;
        std::string bytes;
        std::string text;
    };
    const Row rows[] = {
        {"empty file", "", ""},
        {"one line without end", "a", "a\r\n"},
        {"one line with CR LF", "a\r\n", "a\r\n"},
        {"lone LF", "a\nb", "a\r\nb\r\n"},
        {"lone CR", "a\rb\r", "a\r\nb\r\n"},
        {"LF then CR is two ends", "a\n\rb", "a\r\n\r\nb\r\n"},
        {"CR CR LF", "a\r\r\nb", "a\r\n\r\nb\r\n"},
        {"empty lines kept", "\n\n", "\r\n\r\n"},
        {"only CR LF", "\r\n", "\r\n"},
        {"zero byte ends the text", std::string("ab\0cd\n", 6), "ab\r\n"},
        {"zero byte right after a line end", std::string("ab\n\0cd", 6), "ab\r\n"},
        {"zero byte first", std::string("\0ab", 3), ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(NormaliseLines(row.bytes), row.text);
    }
}
