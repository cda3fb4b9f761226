#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Highest number of tiles a page can have: 3 columns by 6 rows.
inline constexpr int MaxTilesPerPage = 18;

// "_1_1.jpg" .. "_6_3.jpg": the suffix of tile (r, c) stands at index (r - 1) * 3 + (c - 1).
extern const std::array<std::string_view, MaxTilesPerPage> TileSuffixes;

// The page number formatted "%4.4d": 1 -> "0001", 10000 -> "10000", -5 -> "-0005".
std::string PageName(int page);

// downloadBaseUrl + "900/" + 3rd char of PageName + "/" + 4th char + "/" + PageName + suffix.
// `tile` must be 0..17; anything else throws std::out_of_range.
std::string TileUrl(const std::string &downloadBaseUrl, int page, int tile);

// saveDir + "/" + PageName + TileSuffixes[tile].
std::string TileFile(const std::string &saveDir, int page, int tile);

// saveDir + "/" + PageName: the page worker appends the suffixes and ".jpg" itself.
std::string PageBase(const std::string &saveDir, int page);

// saveDir + "/" + PageName + ".jpg": the finished page image.
std::string PageImage(const std::string &saveDir, int page);

// Size of the directory entry `name` designates (a directory reports 0), as the low
// 32 bits read signed; -1 when there is no such entry or it cannot be examined.
// Never throws.
std::int32_t GetFileSize(const std::string &name) noexcept;

// Strict whole-number conversion: leading blanks and one sign are accepted, nothing
// after the digits, no overflow. Throws ConversionError with the text quoted.
int StrToInt(const std::string &text);

} // namespace velmora
