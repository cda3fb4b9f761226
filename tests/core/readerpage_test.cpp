#include "core/readerpage.h"

#include <string>

#include <gtest/gtest.h>

#include "core/encoding.h"
#include "core/error.h"

using namespace velmora;

namespace {

const std::string Prefix = "http://pic.velmora.example/data/magazine";

std::string titled(const std::string &title)
{
    return "<html><head>\r\n<title>" + title + "</title>\r\n</head>\r\n";
}

} // namespace

TEST(ReaderPage, SiteNameIsGbk)
{
    EXPECT_EQ(SiteNameGbk(), Utf8ToGbk("Velmora阅读"));
}

TEST(ReaderPage, ParseTitle)
{
    const std::string site = SiteNameGbk();
    // 278 + " - " + the 11 bytes of the site name = 292 bytes between the tags.
    const std::string filler(278, 'x');
    ASSERT_EQ((filler + " - " + site).size(), 292u);

    struct Row
    {
        const char *name;
        std::string page;
        std::string previous;
        std::string expected;
    };
    const Row rows[] = {
        {"empty page keeps the previous title", "", "Old", "Old"},
        {"upper-case tag is no title", "<TITLE>New - " + site + "</TITLE>", "Old", "Old"},
        {"upper-case tag on the first run", "<TITLE>New - " + site + "</TITLE>", "", ""},
        {"worked example", Utf8ToGbk(titled("样刊周报2011(05):春季/夏季 - Velmora阅读")), "Old",
         Utf8ToGbk("样刊周报2011_05_-春季_夏季 - ")},
        {"292 bytes are found", titled(filler + " - " + site), "", filler + " - "},
        {"293 bytes are not", titled(filler + "x - " + site), "Old", ""},
        {"no closing tag", "<title>New - " + site, "Old", ""},
        {"no site name", titled("New - Other"), "Old", ""},
        {"references are not decoded", titled("A &amp; B - " + site), "", "A _amp; B - "},
        {"colon and slash", titled("a:b/c" + site), "", "a-b_c"},
        {"every replaced character", titled("&/|\\()<>*?:\"" + site), "", "__________-\""},
        {"second byte with the value of backslash and bar",
         titled("\x95\x5C\x95\x7C|\\ - " + site), "", "\x95\x5C\x95\x7C__ - "},
        {"lead bytes run from 0x81 to 0xFE", titled("\x81\x5C\xFE\x7C\x80|\xFF|" + site), "",
         "\x81\x5C\xFE\x7C\x80_\xFF_"},
        {"a lead byte carries any next byte", titled("\x95(\x95/(" + site), "", "\x95(\x95/_"},
        {"only the first title counts", titled("One" + site) + titled("Two" + site), "", "One"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParseTitle(row.page, row.previous), row.expected);
    }
}

TEST(ReaderPage, ParsePageCount)
{
    const std::string marker = "<b id=\"totalpage\">";
    struct Row
    {
        const char *name;
        std::string page;
        std::string expected;
    };
    const Row rows[] = {
        {"plain", Utf8ToGbk("共<b id=\"totalpage\">96</b>页"), "96"},
        {"blanks around", marker + " 96 </b>", "96"},
        {"number on its own line", marker + "\r\n    96\r\n</b>", ""},
        {"'<' is the 10th byte", marker + "123456789<", "123456789"},
        {"'<' is the 11th byte", marker + "1234567890<", ""},
        {"marker at the end", "x" + marker, ""},
        {"no marker: bytes 18 to 27", std::string(17, 'a') + " 12<" + std::string(20, 'b'), "12"},
        {"no marker: '<' past byte 27", std::string(17, 'a') + "1234567890<", ""},
        {"empty page", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParsePageCount(row.page), row.expected);
    }
}

TEST(ReaderPage, ParsePicBaseUrl)
{
    struct Row
    {
        const char *name;
        std::string page;
        std::string expected;
    };
    const std::string longest = Prefix + "/" + std::string(286 - Prefix.size() - 1, 'k');
    ASSERT_EQ(longest.size(), 286u);
    const Row rows[] = {
        {"slash appended", "<img src=\"" + Prefix + "/2011/0520/k7x/b_thumb/0001.jpg\">",
         Prefix + "/2011/0520/k7x/"},
        {"already ends with a slash", "<img src=\"" + Prefix + "/2011/0520/k7x//b_thumb/0001.jpg\">",
         Prefix + "/2011/0520/k7x/"},
        {"longest base in the window", "x" + longest + "/b_thumb/0001.jpg", longest + "/"},
        {"no prefix: start of the page", "abc/def/b_thumb/0001.jpg", "abc/def/"},
        {"later marker ignored", Prefix + "/a/b_thumb/0001.jpg " + Prefix + "/b/b_thumb/0001.jpg",
         Prefix + "/a/"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParsePicBaseUrl(row.page, Prefix), row.expected);
    }
}

TEST(ReaderPage, ParsePicBaseUrlFails)
{
    struct Row
    {
        const char *name;
        std::string page;
    };
    const std::string tooLong = Prefix + "/" + std::string(287 - Prefix.size() - 1, 'k');
    const Row rows[] = {
        {"empty page", ""},
        {"no marker", "<img src=\"" + Prefix + "/2011/0520/k7x/b_thumb/0002.jpg\">"},
        {"base one byte too long", tooLong + "/b_thumb/0001.jpg"},
        {"marker only after a later prefix",
         Prefix + "/a/" + std::string(300, ' ') + Prefix + "/b/b_thumb/0001.jpg"},
        {"no prefix, marker at the very start", "/b_thumb/0001.jpg"},
        {"no prefix, marker past byte 300", std::string(300, ' ') + "x/b_thumb/0001.jpg"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        try {
            ParsePicBaseUrl(row.page, Prefix);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_STREQ(e.what(), ("the reader page holds no picture address (\"/b_thumb/0001.\" "
                                    "within 300 bytes of \"" + Prefix + "\")").c_str());
        }
    }
}

TEST(ReaderPage, ParseItemId)
{
    struct Row
    {
        const char *address;
        const char *expected;
    };
    const Row rows[] = {
        {"http://www.velmora.example/magazine/reader_547882.html", "547882"},
        {" \t http://www.velmora.example/magazine/reader_547882.html \r\n", "547882"},
        {"http://www.velmora.example/my_shelf/reader_547882.html", "shelf/reader_547882"},
        {"http://www.velmora.example/reader.html", "http://www"},
        {"http://localhost:8080/reader_547882", ""},
        {"", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("\"") + row.address + "\"");
        EXPECT_EQ(ParseItemId(row.address), row.expected);
    }
}

TEST(ReaderPage, ParseMagazineId)
{
    struct Row
    {
        const char *name;
        std::string page;
        std::string expected;
    };
    const Row rows[] = {
        {"hidden input", "<input type=\"hidden\" id=\"magazine_id\" value=\"4711\"/>", "4711"},
        {"script variable", "var magazine_id = \"4711\"; var home = \"/\";", "4711"},
        {"first marker counts",
         "magazine_id=\"1\"/> magazine_id=\"2\"/>", "1"},
        {"no slash in the 50-byte window",
         "magazine_id value=\"4711\"" + std::string(40, ' ') + "/", ""},
        {"slash as the 50th byte", "magazine_id=\"4711\"" + std::string(43, ' ') + "/", "4711"},
        {"slash as the 51st byte", "magazine_id=\"4711\"" + std::string(44, ' ') + "/", ""},
        {"one quote before the slash", "magazine_id = \"4711/\"", ""},
        {"no quote before the slash", "magazine_id = 4711/", ""},
        {"no marker: bytes 12 to 61", std::string(11, '-') + " \"99\"/", "99"},
        {"empty page", "", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParseMagazineId(row.page), row.expected);
    }
}
