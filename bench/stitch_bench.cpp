// Page stitching: PageStitcher::AssemblePage on a page of twelve realistic tiles
// (400x528, quality 85, 60-110 KB each, a 1200x2112 page), next to a plain
// "decode every tile + one encode" baseline that does the codec work alone.
//
//   stitch_bench [benchmark flags]      run the benchmarks
//   stitch_bench --dump-tiles DIR       write the tiles as DIR/0001_1_1.jpg .. 0001_4_3.jpg
//   stitch_bench --stitch-pages N DIR [TILE_DIR]
//                                       stitch N pages in DIR (tiles written or copied from
//                                       TILE_DIR before each page, outside the timing) and
//                                       print ms per page; run it under /usr/bin/time -v
//                                       for the peak memory

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <turbojpeg.h>

#include "core/atomicfile.h"
#include "core/jpeghandles.h"
#include "core/naming.h"
#include "core/stitcher.h"

namespace {

constexpr int TileWidth = 400;
constexpr int TileHeight = 528;
constexpr int TileQuality = 85;
constexpr int Columns = 3;
constexpr int Rows = 4;
constexpr int TilesPerPage = Columns * Rows;

using velmora::TjBuffer;
using velmora::TjHandle;
[[noreturn]] void fail(const std::string &what, void *handle)
{
    throw std::runtime_error(what + ": " + tjGetErrorStr2(handle));
}

// A scanned-page look: soft colour gradients, lines of dark "print" and sensor noise,
// so that the tiles compress like real ones rather than like flat colour.
std::string texturedTile(int index)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(TileWidth) * TileHeight * 3);
    std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(index + 1);
    auto noise = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % 7) - 3;
    };
    unsigned char *p = pixels.data();
    for (int y = 0; y < TileHeight; ++y) {
        const bool printLine = (y + index * 7) % 22 < 8;
        for (int x = 0; x < TileWidth; ++x) {
            int r = 200 + static_cast<int>(40 * std::sin(0.011 * x + 0.7 * index));
            int g = 190 + static_cast<int>(45 * std::sin(0.008 * y + 0.3 * index));
            int b = 170 + static_cast<int>(50 * std::cos(0.006 * (x + y)));
            if (printLine && ((x / 2 * 7 + y / 2 * 3 + index) % 11 < 4 || (x / 9 + y / 4) % 5 == 0)) {
                r -= 150;
                g -= 140;
                b -= 130;
            }
            const int n = noise();
            *p++ = static_cast<unsigned char>(std::clamp(r + n, 0, 255));
            *p++ = static_cast<unsigned char>(std::clamp(g + n, 0, 255));
            *p++ = static_cast<unsigned char>(std::clamp(b + n, 0, 255));
        }
    }

    TjHandle compressor(tjInitCompress());
    if (!compressor)
        fail("while creating a JPEG compressor", nullptr);
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(compressor.get(), pixels.data(), TileWidth, 0, TileHeight, TJPF_RGB,
                               &jpeg, &size, TJSAMP_420, TileQuality, 0);
    TjBuffer owned(jpeg);
    if (rc != 0)
        fail("while encoding bench tile " + std::to_string(index), compressor.get());
    return std::string(reinterpret_cast<const char *>(owned.get()), size);
}

const std::vector<std::string> &tiles()
{
    static const std::vector<std::string> made = [] {
        std::vector<std::string> list;
        for (int i = 0; i < TilesPerPage; ++i)
            list.push_back(texturedTile(i));
        return list;
    }();
    return made;
}

void writeTiles(const std::string &pageBase)
{
    for (int i = 0; i < TilesPerPage; ++i)
        velmora::WriteFileAtomically(pageBase + std::string(velmora::TileSuffixes[i]), tiles()[i]);
}

class ScratchDir
{
public:
    ScratchDir()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-stitch-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a scratch folder");
        m_path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

void setTileCounters(benchmark::State &state)
{
    std::size_t bytes = 0;
    for (const std::string &tile : tiles())
        bytes += tile.size();
    state.counters["tile_KB"] = static_cast<double>(bytes) / TilesPerPage / 1024.0;
}

void BM_AssemblePage(benchmark::State &state)
{
    ScratchDir dir;
    const std::string pageBase = velmora::PageBase(dir.path(), 1);
    const std::string pageImage = pageBase + ".jpg";
    velmora::PageStitcher stitcher({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    std::int32_t pageBytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(pageImage);
        writeTiles(pageBase);
        state.ResumeTiming();

        if (!stitcher.AssemblePage(pageBase, TilesPerPage))
            state.SkipWithError("tiles missing");

        state.PauseTiming();
        pageBytes = velmora::GetFileSize(pageImage);
        state.ResumeTiming();
    }
    setTileCounters(state);
    state.counters["page_KB"] = pageBytes / 1024.0;
}
BENCHMARK(BM_AssemblePage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The codec work alone: each tile decoded from memory into its place on one canvas,
// then one encode, with every buffer and handle reused.
void BM_DecodeEncodeBaseline(benchmark::State &state)
{
    const int width = Columns * TileWidth;
    const int height = Rows * TileHeight;
    const int pitch = width * 3;
    std::vector<unsigned char> canvas(static_cast<std::size_t>(pitch) * height);
    TjHandle decompressor(tjInitDecompress());
    TjHandle compressor(tjInitCompress());
    if (!decompressor || !compressor)
        fail("while creating the codecs", nullptr);
    const unsigned long bound = tjBufSize(width, height, TJSAMP_420);
    TjBuffer output(tjAlloc(static_cast<int>(bound)));
    unsigned long size = 0;
    for (auto _ : state) {
        for (int i = 0; i < TilesPerPage; ++i) {
            const std::string &tile = tiles()[i];
            unsigned char *place = canvas.data()
                                   + static_cast<std::size_t>(i / Columns * TileHeight) * pitch
                                   + static_cast<std::size_t>(i % Columns * TileWidth) * 3;
            if (tjDecompress2(decompressor.get(),
                              reinterpret_cast<const unsigned char *>(tile.data()), tile.size(),
                              place, TileWidth, pitch, TileHeight, TJPF_RGB, 0)
                != 0)
                fail("while decoding a bench tile", decompressor.get());
        }
        unsigned char *jpeg = output.get();
        size = bound;
        if (tjCompress2(compressor.get(), canvas.data(), width, pitch, height, TJPF_RGB, &jpeg,
                        &size, TJSAMP_420, 90, TJFLAG_NOREALLOC)
            != 0)
            fail("while encoding the bench page", compressor.get());
        benchmark::DoNotOptimize(jpeg);
    }
    setTileCounters(state);
    state.counters["page_KB"] = static_cast<double>(size) / 1024.0;
}
BENCHMARK(BM_DecodeEncodeBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

int dumpTiles(const std::string &dir)
{
    std::filesystem::create_directories(dir);
    writeTiles(velmora::PageBase(dir, 1));
    for (int i = 0; i < TilesPerPage; ++i)
        std::printf("%s%.*s %zu bytes\n", velmora::PageName(1).c_str(),
                    static_cast<int>(velmora::TileSuffixes[i].size()),
                    velmora::TileSuffixes[i].data(), tiles()[i].size());
    return 0;
}

// Stitches `pages` pages in `dir`, the tiles copied in before each page (from
// `tileDir` when given, else made here), and prints wall and CPU time per page.
int stitchPages(int pages, const std::string &dir, const std::string &tileDir)
{
    if (pages <= 0)
        throw std::runtime_error("the number of pages must be positive");
    std::filesystem::create_directories(dir);
    velmora::PageStitcher stitcher({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    std::chrono::steady_clock::duration wall{};
    std::clock_t cpu = 0;
    for (int page = 1; page <= pages; ++page) {
        const std::string pageBase = velmora::PageBase(dir, page);
        if (tileDir.empty()) {
            writeTiles(pageBase);
        } else {
            for (int i = 0; i < TilesPerPage; ++i) {
                const std::string suffix(velmora::TileSuffixes[i]);
                std::filesystem::copy_file(velmora::PageBase(tileDir, 1) + suffix,
                                           pageBase + suffix,
                                           std::filesystem::copy_options::overwrite_existing);
            }
        }
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t startCpu = std::clock();
        if (!stitcher.AssemblePage(pageBase, TilesPerPage)) {
            std::fprintf(stderr, "page %d: tiles missing\n", page);
            return 1;
        }
        cpu += std::clock() - startCpu;
        wall += std::chrono::steady_clock::now() - start;
        std::filesystem::remove(pageBase + ".jpg");
    }
    std::printf("%.2f ms/page wall, %.2f ms/page cpu, over %d pages\n",
                std::chrono::duration<double, std::milli>(wall).count() / pages,
                1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC / pages, pages);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const std::string_view mode = argc > 1 ? argv[1] : "";
        if (mode == "--dump-tiles" && argc == 3)
            return dumpTiles(argv[2]);
        if (mode == "--stitch-pages" && (argc == 4 || argc == 5))
            return stitchPages(std::atoi(argv[2]), argv[3], argc == 5 ? argv[4] : "");
        if (mode == "--dump-tiles" || mode == "--stitch-pages") {
            std::fprintf(stderr, "usage: %s --dump-tiles DIR | --stitch-pages N DIR [TILE_DIR]\n",
                         argv[0]);
            return 2;
        }
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 2;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
