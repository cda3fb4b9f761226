#include "core/naming.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/tempdir.h"

using namespace velmora;

TEST(Naming, PageTileAndImageNames)
{
    struct Row
    {
        int page;
        int tile;
        const char *pageName;
        const char *urlTail;
        const char *fileTail;
    };
    const Row rows[] = {
        {1, 0, "0001", "900/0/1/0001_1_1.jpg", "/0001_1_1.jpg"},
        {0, 0, "0000", "900/0/0/0000_1_1.jpg", "/0000_1_1.jpg"},
        {9999, 17, "9999", "900/9/9/9999_6_3.jpg", "/9999_6_3.jpg"},
        {10000, 0, "10000", "900/0/0/10000_1_1.jpg", "/10000_1_1.jpg"},
        {-5, 0, "-0005", "900/0/0/-0005_1_1.jpg", "/-0005_1_1.jpg"},
        {37, 4, "0037", "900/3/7/0037_2_2.jpg", "/0037_2_2.jpg"},
        {12345, 0, "12345", "900/3/4/12345_1_1.jpg", "/12345_1_1.jpg"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("page " + std::to_string(row.page) + " tile " + std::to_string(row.tile));
        EXPECT_EQ(PageName(row.page), row.pageName);
        EXPECT_EQ(TileUrl("http://pic/b/", row.page, row.tile), std::string("http://pic/b/") + row.urlTail);
        EXPECT_EQ(TileFile("/save", row.page, row.tile), std::string("/save") + row.fileTail);
        EXPECT_EQ(PageBase("/save", row.page), std::string("/save/") + row.pageName);
        EXPECT_EQ(PageImage("/save", row.page), std::string("/save/") + row.pageName + ".jpg");
    }
}

TEST(Naming, SuffixTableIsRowMajor)
{
    for (int r = 1; r <= 6; ++r)
        for (int c = 1; c <= 3; ++c)
            EXPECT_EQ(TileSuffixes[(r - 1) * 3 + (c - 1)],
                      "_" + std::to_string(r) + "_" + std::to_string(c) + ".jpg");
    EXPECT_THROW(TileFile("/s", 1, 18), std::out_of_range);
    EXPECT_THROW(TileUrl("b/", 1, -1), std::out_of_range);
}

TEST(GetFileSize, EntriesOfEveryKind)
{
    TempDir dir;
    const std::string empty = dir.file("empty.jpg");
    std::ofstream(empty).close();
    const std::string hidden = dir.file(".hidden");
    std::ofstream(hidden) << "12345";
    std::filesystem::create_directory(dir.file("folder"));

    EXPECT_EQ(GetFileSize(dir.file("missing.jpg")), -1);
    EXPECT_EQ(GetFileSize(empty), 0);
    EXPECT_EQ(GetFileSize(hidden), 5);
    EXPECT_EQ(GetFileSize(dir.file("folder")), 0);
    EXPECT_EQ(GetFileSize(dir.file(std::string(300, 'x'))), -1);
    EXPECT_EQ(GetFileSize(dir.path() + "/" + std::string(5000, 'y') + "/a"), -1);
    EXPECT_EQ(GetFileSize(""), -1);
}

TEST(StrToInt, StrictWholeNumbers)
{
    struct Row
    {
        const char *text;
        bool ok;
        int value;
    };
    const Row rows[] = {
        {"1", true, 1},       {"5", true, 5},          {" 3", true, 3},
        {"+4", true, 4},      {"-7", true, -7},        {"2147483647", true, INT_MAX},
        {"-2147483648", true, INT_MIN},
        {"3 ", false, 0},     {"", false, 0},          {"+", false, 0},
        {"abc", false, 0},    {"2147483648", false, 0}, {"-2147483649", false, 0},
        {"99999999999999999999", false, 0}, {"1x", false, 0}, {"+-1", false, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("'") + row.text + "'");
        if (row.ok) {
            EXPECT_EQ(StrToInt(row.text), row.value);
        } else {
            try {
                StrToInt(row.text);
                ADD_FAILURE() << "accepted";
            } catch (const ConversionError &e) {
                EXPECT_EQ(std::string(e.what()),
                          std::string("'") + row.text + "' is not a valid integer value");
            }
        }
    }
}
