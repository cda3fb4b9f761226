#include "core/stitcher.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include <turbojpeg.h>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/jpeghandles.h"
#include "core/naming.h"

namespace velmora {

namespace {

constexpr int Columns = 3;

// Failed attempts after which a phase gives up and lets its last error pass out.
constexpr int PrepareLimit = 20;
constexpr int MeasureLimit = 20;
constexpr int ComposeLimit = 200;
constexpr int RemovalLimit = 20;

// Pixels no tile covers: a light grey, the same value in every channel.
constexpr unsigned char BackgroundLevel = 240;

constexpr int PageQuality = 90;
constexpr int PageSubsampling = TJSAMP_420;

// A page larger than this is refused before anything is allocated for it.
constexpr std::int64_t MaxPagePixels = 100'000'000;

constexpr std::size_t BytesPerPixel = 3; // TJPF_RGB

struct Tile
{
    std::string path;
    std::string name; // file name only, for messages
    std::string bytes;
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
};

std::string fileNameOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool fileExists(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

// A page image counts as there only when it has content; an empty one is left over
// from an interrupted save and gets replaced.
bool pageImagePresent(const std::string &path)
{
    return GetFileSize(path) > 0;
}

void pause(std::chrono::milliseconds duration)
{
    if (duration.count() > 0)
        std::this_thread::sleep_for(duration);
}

// A tile whose data cannot be decoded. Composing works on the bytes read while
// measuring, so trying again would fail the same way: it is not retried.
class DamagedTile : public Error
{
public:
    using Error::Error;
};

// Runs `attempt` until it succeeds; after `limit` failed attempts the last error passes out.
template <typename Attempt>
void retry(int limit, Attempt &&attempt)
{
    for (int failures = 0;;) {
        try {
            attempt();
            return;
        } catch (const DamagedTile &) {
            throw;
        } catch (const Error &) {
            if (++failures >= limit)
                throw;
        }
    }
}

} // namespace

struct PageStitcher::Private
{
    explicit Private(Pauses p) : pauses(p) {}

    Pauses pauses;

    // Kept from page to page: allocating a page-sized canvas and output buffer afresh
    // costs more than composing the page.
    TjHandle decompressor;
    // Decodes every other tile on a second thread when no two tiles overlap.
    TjHandle helperDecompressor;
    TjHandle compressor;
    std::unique_ptr<unsigned char[]> canvas;
    std::size_t canvasCapacity = 0;
    TjBuffer output;
    unsigned long outputCapacity = 0;
    std::array<Tile, MaxTilesPerPage> tiles;

    // Per page.
    std::string pageLabel; // "while stitching page 0037: "
    std::string pageImage;
    int tileCount = 0;
    int canvasWidth = 0;
    int canvasHeight = 0;
    bool tilesOverlap = false;

    Error failure(const std::string &what, long code = 0) const
    {
        return Error(pageLabel + what, code);
    }

    void prepare();
    void measure();
    void readTile(Tile &tile);
    void composeAndSave();
    void decodeTiles(std::size_t pitch);
    bool decodeTile(tjhandle handle, const Tile &tile, std::size_t pitch);
    void ensureCanvas(std::size_t bytes);
    void ensureOutput(unsigned long bytes);
    void removeTiles();
};

PageStitcher::PageStitcher() : PageStitcher(Pauses{}) {}

PageStitcher::PageStitcher(Pauses pauses) : d(std::make_unique<Private>(pauses)) {}

PageStitcher::~PageStitcher() = default;

int PageStitcher::rowsFor(int tilesPerPage) noexcept
{
    if (tilesPerPage < 15)
        return 4;
    if (tilesPerPage < 18)
        return 5;
    return 6;
}

bool PageStitcher::AssemblePage(const std::string &pageBase, int tilesPerPage)
{
    const int count = rowsFor(tilesPerPage) * Columns;
    for (int i = 0; i < count; ++i) {
        if (!fileExists(pageBase + std::string(TileSuffixes[i])))
            return false;
    }

    d->tileCount = count;
    d->pageImage = pageBase + ".jpg";
    d->pageLabel = "while stitching page " + fileNameOf(pageBase) + ": ";
    for (int i = 0; i < count; ++i) {
        Tile &tile = d->tiles[i];
        tile.path = pageBase + std::string(TileSuffixes[i]);
        tile.name = fileNameOf(tile.path);
    }

    std::exception_ptr failure;
    try {
        retry(PrepareLimit, [this] { d->prepare(); });
        retry(MeasureLimit, [this] { d->measure(); });
        retry(ComposeLimit, [this] {
            if (pageImagePresent(d->pageImage))
                return;
            d->composeAndSave();
            pause(d->pauses.afterSave);
            // A save that reports success but leaves nothing behind must not loop forever.
            if (!pageImagePresent(d->pageImage))
                throw d->failure("page image " + fileNameOf(d->pageImage)
                                 + " is not on disk after saving it");
        });
    } catch (...) {
        failure = std::current_exception();
    }

    pause(d->pauses.beforeRemoval);
    // An error here passes out instead of any earlier one.
    retry(RemovalLimit, [this] { d->removeTiles(); });

    if (failure)
        std::rethrow_exception(failure);
    return true;
}

void PageStitcher::Private::prepare()
{
    if (!decompressor) {
        decompressor.reset(tjInitDecompress());
        if (!decompressor)
            throw failure(std::string("cannot create a JPEG decompressor (")
                          + tjGetErrorStr2(nullptr) + ")");
    }
    if (!helperDecompressor) {
        helperDecompressor.reset(tjInitDecompress());
        if (!helperDecompressor)
            throw failure(std::string("cannot create a JPEG decompressor (")
                          + tjGetErrorStr2(nullptr) + ")");
    }
    if (!compressor) {
        compressor.reset(tjInitCompress());
        if (!compressor)
            throw failure(std::string("cannot create a JPEG compressor (")
                          + tjGetErrorStr2(nullptr) + ")");
    }
}

void PageStitcher::Private::readTile(Tile &tile)
{
    std::ifstream in(tile.path, std::ios::binary | std::ios::ate);
    if (!in)
        throw failure("cannot read tile " + tile.name + " (" + std::strerror(errno) + ")", errno);
    const std::streamoff size = in.tellg();
    if (size < 0)
        throw failure("cannot read tile " + tile.name);
    try {
        tile.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc &) {
        throw failure("cannot read tile " + tile.name + " (" + std::to_string(size)
                          + " bytes do not fit in memory)",
                      ENOMEM);
    }
    in.seekg(0);
    if (!in.read(tile.bytes.data(), size))
        throw failure("cannot read tile " + tile.name);
}

// Reads every tile and takes its size from the JPEG header alone; the bytes stay for
// composing, so the sizes laid out are the sizes decoded.
void PageStitcher::Private::measure()
{
    for (int i = 0; i < tileCount; ++i) {
        Tile &tile = tiles[i];
        readTile(tile);
        int subsampling = 0;
        int colourspace = 0;
        if (tjDecompressHeader3(decompressor.get(),
                                reinterpret_cast<const unsigned char *>(tile.bytes.data()),
                                tile.bytes.size(), &tile.width, &tile.height, &subsampling,
                                &colourspace)
            != 0) {
            throw failure("tile " + tile.name + " is not a readable JPEG ("
                              + tjGetErrorStr2(decompressor.get()) + ")",
                          tjGetErrorCode(decompressor.get()));
        }
        if (tile.width <= 0 || tile.height <= 0)
            throw failure("tile " + tile.name + " is not a readable JPEG (no pixels)");
    }

    // Columns are placed by the widths of the first row, rows by the heights of the
    // first column; every tile keeps its own size.
    const std::array<int, Columns> columnX{0, tiles[0].width, tiles[0].width + tiles[1].width};
    std::int64_t right = 0;
    std::int64_t bottom = 0;
    int rowY = 0;
    for (int i = 0; i < tileCount; ++i) {
        Tile &tile = tiles[i];
        const int column = i % Columns;
        if (column == 0 && i > 0)
            rowY += tiles[i - Columns].height;
        tile.x = columnX[column];
        tile.y = rowY;
        right = std::max<std::int64_t>(right, std::int64_t{tile.x} + tile.width);
        bottom = std::max<std::int64_t>(bottom, std::int64_t{tile.y} + tile.height);
    }
    if (right * bottom > MaxPagePixels) {
        throw failure("the page would be " + std::to_string(right) + "x" + std::to_string(bottom)
                      + " pixels, more than " + std::to_string(MaxPagePixels / 1'000'000)
                      + " megapixels");
    }
    canvasWidth = static_cast<int>(right);
    canvasHeight = static_cast<int>(bottom);

    tilesOverlap = false;
    for (int i = 0; i < tileCount && !tilesOverlap; ++i) {
        for (int j = i + 1; j < tileCount; ++j) {
            const Tile &a = tiles[i];
            const Tile &b = tiles[j];
            if (a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height
                && b.y < a.y + a.height) {
                tilesOverlap = true;
                break;
            }
        }
    }
}

void PageStitcher::Private::ensureCanvas(std::size_t bytes)
{
    if (bytes <= canvasCapacity)
        return;
    canvas.reset();
    canvasCapacity = 0;
    try {
        canvas = std::make_unique_for_overwrite<unsigned char[]>(bytes);
    } catch (const std::bad_alloc &) {
        throw failure("cannot allocate " + std::to_string(bytes) + " bytes for the page canvas",
                      ENOMEM);
    }
    canvasCapacity = bytes;
}

void PageStitcher::Private::ensureOutput(unsigned long bytes)
{
    if (bytes <= outputCapacity)
        return;
    output.reset();
    outputCapacity = 0;
    output.reset(tjAlloc(static_cast<int>(bytes)));
    if (!output)
        throw failure("cannot allocate " + std::to_string(bytes)
                          + " bytes for the page image",
                      ENOMEM);
    outputCapacity = bytes;
}

// Decodes `tile` straight into its place on the canvas. A warning (truncated or damaged
// data) counts as a failure: such a page is not saved.
bool PageStitcher::Private::decodeTile(tjhandle handle, const Tile &tile, std::size_t pitch)
{
    unsigned char *place = canvas.get() + static_cast<std::size_t>(tile.y) * pitch
                           + static_cast<std::size_t>(tile.x) * BytesPerPixel;
    return tjDecompress2(handle, reinterpret_cast<const unsigned char *>(tile.bytes.data()),
                         tile.bytes.size(), place, tile.width, static_cast<int>(pitch),
                         tile.height, TJPF_RGB, TJFLAG_STOPONWARNING)
           == 0;
}

// Tiles are decoded in layout order, so a later tile covers an earlier one. When no two
// tiles overlap, the order cannot show, and a second thread decodes every other tile.
void PageStitcher::Private::decodeTiles(std::size_t pitch)
{
    int helperFailed = -1; // index of the first tile the helper could not decode
    std::thread helper;
    int step = 1;
    if (!tilesOverlap && tileCount > 1) {
        try {
            helper = std::thread([this, pitch, &helperFailed] {
                for (int i = 1; i < tileCount; i += 2) {
                    if (!decodeTile(helperDecompressor.get(), tiles[i], pitch)) {
                        helperFailed = i;
                        return;
                    }
                }
            });
            step = 2;
        } catch (const std::system_error &) {
            // No thread to be had: this one decodes them all.
        }
    }

    int failed = -1;
    for (int i = 0; i < tileCount; i += step) {
        if (!decodeTile(decompressor.get(), tiles[i], pitch)) {
            failed = i;
            break;
        }
    }
    if (helper.joinable())
        helper.join();

    if (failed < 0 && helperFailed < 0)
        return;
    const bool helperFirst = helperFailed >= 0 && (failed < 0 || helperFailed < failed);
    const Tile &tile = tiles[helperFirst ? helperFailed : failed];
    tjhandle handle = helperFirst ? helperDecompressor.get() : decompressor.get();
    const Error error = failure("tile " + tile.name + " is not a readable JPEG ("
                                    + tjGetErrorStr2(handle) + ")",
                                tjGetErrorCode(handle));
    throw DamagedTile(error.what(), error.code());
}

void PageStitcher::Private::composeAndSave()
{
    const std::size_t pitch = static_cast<std::size_t>(canvasWidth) * BytesPerPixel;
    const std::size_t canvasBytes = pitch * static_cast<std::size_t>(canvasHeight);
    ensureCanvas(canvasBytes);
    std::memset(canvas.get(), BackgroundLevel, canvasBytes);

    decodeTiles(pitch);

    const unsigned long bound = tjBufSize(canvasWidth, canvasHeight, PageSubsampling);
    if (bound == static_cast<unsigned long>(-1))
        throw failure(std::string("cannot encode page image ") + fileNameOf(pageImage) + " ("
                      + tjGetErrorStr2(nullptr) + ")");
    ensureOutput(bound);
    unsigned char *jpeg = output.get();
    unsigned long jpegSize = outputCapacity;
    if (tjCompress2(compressor.get(), canvas.get(), canvasWidth, static_cast<int>(pitch),
                    canvasHeight, TJPF_RGB, &jpeg, &jpegSize, PageSubsampling, PageQuality,
                    TJFLAG_NOREALLOC)
        != 0) {
        throw failure("cannot encode page image " + fileNameOf(pageImage) + " ("
                          + tjGetErrorStr2(compressor.get()) + ")",
                      tjGetErrorCode(compressor.get()));
    }

    try {
        WriteFileAtomically(pageImage,
                            std::string_view(reinterpret_cast<const char *>(jpeg), jpegSize));
    } catch (const Error &e) {
        throw failure(e.what(), e.code());
    }
}

void PageStitcher::Private::removeTiles()
{
    for (int i = 0; i < tileCount; ++i) {
        const Tile &tile = tiles[i];
        if (!fileExists(tile.path))
            continue;
        std::error_code error;
        std::filesystem::remove(tile.path, error);
        if (error)
            throw failure("cannot delete tile " + tile.name + " (" + error.message() + ")",
                          error.value());
        if (fileExists(tile.path))
            throw failure("tile " + tile.name + " is still there after deleting it");
    }
}

} // namespace velmora
