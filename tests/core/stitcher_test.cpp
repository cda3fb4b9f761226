#include "core/stitcher.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/naming.h"
#include "support/jpegfixture.h"
#include "support/tempdir.h"

using namespace velmora;
using namespace std::chrono_literals;

namespace {

constexpr int Tolerance = 10;
constexpr Rgb Background{240, 240, 240};

// A colour of its own for each tile index, far from the others and from the background.
Rgb tileColour(int index)
{
    return {static_cast<std::uint8_t>(40 + index % 3 * 80),
            static_cast<std::uint8_t>(40 + index / 3 % 3 * 80),
            static_cast<std::uint8_t>(40 + index / 9 * 120)};
}

bool exists(const std::string &path)
{
    return std::filesystem::exists(path);
}

class StitcherTest : public ::testing::Test
{
protected:
    std::string base(const std::string &page) const { return dir.file(page); }
    std::string tile(const std::string &page, int index) const
    {
        return base(page) + std::string(TileSuffixes[index]);
    }

    // Tiles 0 .. count-1 of `page`, all of one size, each in its own colour.
    void writeTiles(const std::string &page, int count, int width, int height)
    {
        for (int i = 0; i < count; ++i)
            writeSolidJpeg(tile(page, i), width, height, tileColour(i));
    }

    void expectTilesGone(const std::string &page, int count)
    {
        for (int i = 0; i < count; ++i)
            EXPECT_FALSE(exists(tile(page, i))) << tile(page, i);
    }

    TempDir dir;
    PageStitcher stitcher{PageStitcher::Pauses{0ms, 0ms}};
};

// One stitcher goes through all rows, so the canvas and buffers kept between pages
// are exercised with pages of different sizes.
TEST_F(StitcherTest, LaysOutTilesAndComposesThePage)
{
    struct Size
    {
        int index;
        int width;
        int height;
    };
    struct Probe
    {
        int x;
        int y;
        int tile; // -1: background
    };
    struct Row
    {
        const char *name;
        const char *page;
        int tilesPerPage;
        int filesOnDisk;
        std::vector<Size> sizes; // tiles not listed are 300x400
        std::vector<int> columnX;
        std::vector<int> rowY;
        int width;
        int height;
        std::vector<Probe> probes; // besides the centre of every tile
    };
    const std::vector<int> columns{0, 300, 600};
    const Row rows[] = {
        {"twelve tiles of 300x400", "0001", 12, 12, {}, columns, {0, 400, 800, 1200}, 900, 1600, {}},
        {"third column 250 wide, row 4 380 high",
         "0002",
         12,
         12,
         {{2, 250, 400}, {5, 250, 400}, {8, 250, 400}, {9, 300, 380}, {10, 300, 380}, {11, 250, 380}},
         columns,
         {0, 400, 800, 1200},
         850,
         1580,
         {}},
        {"fifteen tiles use five rows", "0003", 15, 15, {}, columns, {0, 400, 800, 1200, 1600}, 900, 2000, {}},
        {"thirteen tiles use twelve", "0004", 13, 13, {}, columns, {0, 400, 800, 1200}, 900, 1600, {}},
        {"fourteen tiles use twelve", "0005", 14, 14, {}, columns, {0, 400, 800, 1200}, 900, 1600, {}},
        // Rows 390, 380, ... 340 high; tile (3,2) is 420 high and reaches into row 4,
        // which starts after the first column's tile and covers the overhang.
        {"eighteen tiles use six rows placed by the first column",
         "0006",
         18,
         18,
         {{0, 300, 390}, {1, 300, 390}, {2, 300, 390},
          {3, 300, 380}, {4, 300, 380}, {5, 300, 380},
          {6, 300, 370}, {7, 300, 420}, {8, 300, 370},
          {9, 300, 360}, {10, 300, 360}, {11, 300, 360},
          {12, 300, 350}, {13, 300, 350}, {14, 300, 350},
          {15, 300, 340}, {16, 300, 340}, {17, 300, 340}},
         columns,
         {0, 390, 770, 1140, 1500, 1850},
         900,
         2190,
         {{450, 1165, 10}, {150, 1155, 9}}},
        // (2,1) is 400 wide and runs under (2,2); (3,3) is 200 wide and leaves a grey strip.
        {"later tile covers a wider one, narrow tile leaves background",
         "0007",
         12,
         12,
         {{3, 400, 400}, {8, 200, 400}},
         columns,
         {0, 400, 800, 1200},
         900,
         1600,
         {{350, 600, 4}, {390, 790, 4}, {850, 1000, -1}, {810, 820, -1}, {790, 1000, 8}}},
    };

    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto sizeOf = [&](int index) {
            for (const Size &size : row.sizes)
                if (size.index == index)
                    return size;
            return Size{index, 300, 400};
        };
        for (int i = 0; i < row.filesOnDisk; ++i) {
            const Size size = sizeOf(i);
            writeSolidJpeg(tile(row.page, i), size.width, size.height, tileColour(i));
        }

        ASSERT_TRUE(stitcher.AssemblePage(base(row.page), row.tilesPerPage));

        const DecodedJpeg page = decodeJpeg(base(row.page) + ".jpg");
        ASSERT_EQ(page.width, row.width);
        ASSERT_EQ(page.height, row.height);

        std::vector<Probe> probes = row.probes;
        const int layoutTiles = static_cast<int>(row.rowY.size()) * 3;
        for (int i = 0; i < layoutTiles; ++i) {
            const Size size = sizeOf(i);
            probes.push_back({row.columnX[i % 3] + size.width / 2, row.rowY[i / 3] + size.height / 2, i});
        }
        for (const Probe &probe : probes) {
            const Rgb expected = probe.tile < 0 ? Background : tileColour(probe.tile);
            const Rgb actual = page.pixel(probe.x, probe.y);
            EXPECT_TRUE(nearColour(actual, expected, Tolerance))
                << "at (" << probe.x << "," << probe.y << ") expected "
                << (probe.tile < 0 ? std::string("background") : "tile " + std::to_string(probe.tile))
                << " " << describe(expected) << ", got " << describe(actual);
        }

        expectTilesGone(row.page, layoutTiles);
        for (int i = layoutTiles; i < row.filesOnDisk; ++i)
            EXPECT_TRUE(exists(tile(row.page, i))) << "tile beyond the layout was removed: " << i;
    }
}

TEST_F(StitcherTest, IncompleteLayoutTouchesNothing)
{
    struct Row
    {
        const char *name;
        const char *page;
        int tilesPerPage;
        int filesOnDisk;
        int missing; // index removed from the files on disk, -1 for none
    };
    const Row rows[] = {
        {"tile _3_2 missing", "0001", 12, 12, 7},
        {"eleven tiles per page never fill the layout", "0002", 11, 11, -1},
        {"fifteen tiles per page, twelve on disk", "0003", 15, 12, -1},
        {"last tile of six rows missing", "0004", 18, 18, 17},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> before;
        for (int i = 0; i < row.filesOnDisk; ++i) {
            if (i == row.missing) {
                before.emplace_back();
                continue;
            }
            before.push_back(solidJpeg(30, 40, tileColour(i)));
            WriteFileAtomically(tile(row.page, i), before.back());
        }

        EXPECT_FALSE(stitcher.AssemblePage(base(row.page), row.tilesPerPage));

        EXPECT_FALSE(exists(base(row.page) + ".jpg"));
        for (int i = 0; i < row.filesOnDisk; ++i) {
            if (i == row.missing)
                EXPECT_FALSE(exists(tile(row.page, i)));
            else
                EXPECT_EQ(ReadWholeFile(tile(row.page, i)), before[i]) << tile(row.page, i);
        }
    }
}

// A broken tile never becomes part of a page: the error passes out, no page image is
// left and the page's tiles are removed so that they are fetched again.
TEST_F(StitcherTest, UnreadableTileFailsThePageAndRemovesItsTiles)
{
    const std::string good = solidJpeg(48, 32, tileColour(4));
    const std::size_t scan = good.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);

    struct Row
    {
        const char *name;
        const char *page;
        std::string bytes;
        int index = 4; // the damaged tile
    };
    const std::string cut = good.substr(0, scan + (good.size() - scan) / 2);
    const Row rows[] = {
        {"not a JPEG", "0037", "GIF89a, or anything else"},
        {"empty file", "0038", ""},
        {"cut in the middle of the image data", "0039", cut},
        // Side by side tiles are decoded on two threads; tile 7 is the second thread's.
        {"cut, in a tile of the second decoding thread", "0041", cut, 7},
        {"headers only", "0040", good.substr(0, scan)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        writeTiles(row.page, 12, 48, 32);
        WriteFileAtomically(tile(row.page, row.index), row.bytes);

        try {
            stitcher.AssemblePage(base(row.page), 12);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            const std::string expected = std::string("while stitching page ") + row.page + ": tile "
                                         + row.page + std::string(TileSuffixes[row.index])
                                         + " is not a readable JPEG (";
            EXPECT_EQ(std::string(e.what()).substr(0, expected.size()), expected) << e.what();
        }
        EXPECT_FALSE(exists(base(row.page) + ".jpg"));
        expectTilesGone(row.page, 12);
    }
}

TEST_F(StitcherTest, RefusesAHugePageBeforeAllocatingIt)
{
    // A real JPEG whose frame header claims 60000x60000 pixels.
    std::string huge = solidJpeg(48, 32, tileColour(0));
    const std::size_t frame = huge.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    huge[frame + 5] = huge[frame + 7] = static_cast<char>(0xEA);
    huge[frame + 6] = huge[frame + 8] = static_cast<char>(0x60);

    writeTiles("0037", 12, 48, 32);
    WriteFileAtomically(tile("0037", 0), huge);

    try {
        stitcher.AssemblePage(base("0037"), 12);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()),
                  "while stitching page 0037: the page would be 60096x60096 pixels, "
                  "more than 100 megapixels");
    }
    EXPECT_FALSE(exists(base("0037") + ".jpg"));
    expectTilesGone("0037", 12);
}

TEST_F(StitcherTest, KeepsAnExistingPageImage)
{
    writeTiles("0037", 12, 30, 40);
    WriteFileAtomically(base("0037") + ".jpg", "made earlier");

    EXPECT_TRUE(stitcher.AssemblePage(base("0037"), 12));

    EXPECT_EQ(ReadWholeFile(base("0037") + ".jpg"), "made earlier");
    expectTilesGone("0037", 12);
}

TEST_F(StitcherTest, ReplacesAnEmptyPageImage)
{
    writeTiles("0037", 12, 30, 40);
    WriteFileAtomically(base("0037") + ".jpg", "");

    EXPECT_TRUE(stitcher.AssemblePage(base("0037"), 12));

    const DecodedJpeg page = decodeJpeg(base("0037") + ".jpg");
    EXPECT_EQ(page.width, 90);
    EXPECT_EQ(page.height, 160);
    EXPECT_TRUE(nearColour(page.pixel(75, 140), tileColour(11), Tolerance));
    expectTilesGone("0037", 12);
}

// The page image cannot be written (a folder holds its name): composing gives up after
// its retries, the error keeps the system's code and the tiles are still removed.
TEST_F(StitcherTest, UnwritablePageImageEndsAfterRetriesAndRemovesTiles)
{
    writeTiles("0037", 12, 16, 16);
    std::filesystem::create_directory(base("0037") + ".jpg");
    WriteFileAtomically(base("0037") + ".jpg/inside", "x");

    try {
        stitcher.AssemblePage(base("0037"), 12);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.code(), EISDIR) << e.what();
        EXPECT_NE(std::string(e.what()).find("while stitching page 0037: cannot write file"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_directory(base("0037") + ".jpg"));
    expectTilesGone("0037", 12);
    // No temporary files left beside the page.
    int entries = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

} // namespace
