#pragma once

#include <string>

#include "core/naming.h"

namespace velmora {

// The lowest and highest tile counts a page can be stitched from: below twelve no page
// is ever complete, above eighteen tiles have no names.
inline constexpr int MinTilesPerPage = 12;

constexpr bool IsSupportedTileCount(int tiles)
{
    return tiles >= MinTilesPerPage && tiles <= MaxTilesPerPage;
}

// "current_arr=0&item_id=<itemId>&magazine_id=<magazineId>", values inserted as they are.
std::string PageLayoutQueryBody(const std::string &itemId, const std::string &magazineId);

// The number of elements of "right_page_arr" in the page-layout answer. The first
// complete JSON value counts; text after it is ignored. Throws Error when the answer
// is not JSON, is not an object, or the member is missing or not an array.
int TileCountFromAnswer(const std::string &answer);

} // namespace velmora
