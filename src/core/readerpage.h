#pragma once

#include <string>

namespace velmora {

// Rules that read an issue's reader page. The page text is GBK, prepared by
// NormaliseLines and Utf8ToGbk. Each rule finds a fixed marker and cuts a fixed window.

// The title before the site's name, with & / | \ ( ) < > * ? made "_" and ":" made "-"
// (whole GBK characters only); `previousTitle` when the page has no "<title>". Not trimmed.
std::string ParseTitle(const std::string &page, const std::string &previousTitle);

// The trimmed text in the 10 bytes after <b id="totalpage"> up to the first "<".
std::string ParsePageCount(const std::string &page);

// The picture base address, ending with "/": the 300-byte window that starts at
// `picturePrefix`, cut before "/b_thumb/0001.". Throws Error when it comes out empty.
std::string ParsePicBaseUrl(const std::string &page, const std::string &picturePrefix);

// The item identifier: the trimmed address after its first "_" and before the next ".".
std::string ParseItemId(const std::string &readerAddress);

// The magazine identifier: between the first two double quotes in the 50 bytes that
// start one byte after "magazine_id", before the first "/" there.
std::string ParseMagazineId(const std::string &page);

// The site's name as it stands in page titles, in GBK.
std::string SiteNameGbk();

} // namespace velmora
