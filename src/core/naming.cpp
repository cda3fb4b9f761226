#include "core/naming.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include <sys/stat.h>

#include "core/error.h"

namespace velmora {

const std::array<std::string_view, MaxTilesPerPage> TileSuffixes = {
    "_1_1.jpg", "_1_2.jpg", "_1_3.jpg", "_2_1.jpg", "_2_2.jpg", "_2_3.jpg",
    "_3_1.jpg", "_3_2.jpg", "_3_3.jpg", "_4_1.jpg", "_4_2.jpg", "_4_3.jpg",
    "_5_1.jpg", "_5_2.jpg", "_5_3.jpg", "_6_1.jpg", "_6_2.jpg", "_6_3.jpg",
};

ConversionError::ConversionError(const std::string &text)
    : Error("'" + text + "' is not a valid integer value")
{
}

namespace {

std::string_view suffix(int tile)
{
    if (tile < 0 || tile >= MaxTilesPerPage)
        throw std::out_of_range("tile index " + std::to_string(tile) + " has no name");
    return TileSuffixes[static_cast<std::size_t>(tile)];
}

} // namespace

std::string PageName(int page)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%4.4d", page);
    return buffer;
}

std::string TileUrl(const std::string &downloadBaseUrl, int page, int tile)
{
    const std::string name = PageName(page);
    std::string url = downloadBaseUrl;
    url += "900/";
    url += name[2];
    url += '/';
    url += name[3];
    url += '/';
    url += name;
    url += suffix(tile);
    return url;
}

std::string TileFile(const std::string &saveDir, int page, int tile)
{
    return PageBase(saveDir, page) + std::string(suffix(tile));
}

std::string PageBase(const std::string &saveDir, int page)
{
    return saveDir + "/" + PageName(page);
}

std::string PageImage(const std::string &saveDir, int page)
{
    return PageBase(saveDir, page) + ".jpg";
}

std::int32_t GetFileSize(const std::string &name) noexcept
{
    if (name.empty())
        return -1;
    struct stat info {};
    // lstat: the entry itself, not what a link points to.
    if (::lstat(name.c_str(), &info) != 0)
        return -1;
    if (S_ISDIR(info.st_mode))
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(info.st_size) & 0xffffffffu));
}

int StrToInt(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        throw ConversionError(text);
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw ConversionError(text);
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            throw ConversionError(text);
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        throw ConversionError(text);
    return static_cast<int>(value);
}

} // namespace velmora
