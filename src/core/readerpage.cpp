#include "core/readerpage.h"

#include <cstddef>

#include "core/error.h"
#include "core/text.h"

namespace velmora {

namespace {

const std::string TitleOpen = "<title>";
const std::string TitleClose = "</title>";
const std::string PageCountMarker = "<b id=\"totalpage\">";
const std::string ThumbMarker = "/b_thumb/0001.";
const std::string MagazineMarker = "magazine_id";

constexpr int TitleWindow = 300;
constexpr int PageCountWindow = 10;
constexpr int PicBaseWindow = 300;
constexpr int MagazineWindow = 50;

// Makes the characters a folder name cannot hold harmless: ":" becomes "-", the others
// "_". A GBK lead byte carries the next byte along, so the second half of a double-byte
// character is left alone even where it has the value of "\" or "|".
void cleanTitle(std::string &title)
{
    for (std::size_t i = 0; i < title.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(title[i]);
        if (IsGbkLeadByte(c)) {
            ++i;
            continue;
        }
        switch (c) {
        case '&': case '/': case '|': case '\\': case '(': case ')':
        case '<': case '>': case '*': case '?':
            title[i] = '_';
            break;
        case ':':
            title[i] = '-';
            break;
        default:
            break;
        }
    }
}

} // namespace

std::string SiteNameGbk()
{
    // "Velmora阅读": 阅 is D4 C4 and 读 is B6 C1 in GBK.
    return "Velmora\xD4\xC4\xB6\xC1";
}

std::string ParseTitle(const std::string &page, const std::string &previousTitle)
{
    const int p = TextPos(TitleOpen, page);
    if (p == 0)
        return previousTitle;
    std::string title = TextBefore(TextSlice(page, p + static_cast<int>(TitleOpen.size()), TitleWindow),
                                   TitleClose);
    cleanTitle(title);
    return TextBefore(title, SiteNameGbk());
}

std::string ParsePageCount(const std::string &page)
{
    const int p = TextPos(PageCountMarker, page);
    const std::string window =
        TextSlice(page, p + static_cast<int>(PageCountMarker.size()), PageCountWindow);
    return Trim(TextBefore(window, "<"));
}

std::string ParsePicBaseUrl(const std::string &page, const std::string &picturePrefix)
{
    const int p = TextPos(picturePrefix, page);
    std::string base = TextBefore(TextSlice(page, p, PicBaseWindow), ThumbMarker);
    if (base.empty())
        throw Error("the reader page holds no picture address (\"" + ThumbMarker
                    + "\" within " + std::to_string(PicBaseWindow) + " bytes of \"" + picturePrefix
                    + "\")");
    if (base.back() != '/')
        base += '/';
    return base;
}

std::string ParseItemId(const std::string &readerAddress)
{
    return TextBefore(TextAfter(Trim(readerAddress), '_'), ".");
}

std::string ParseMagazineId(const std::string &page)
{
    // The window starts one byte after the marker: that byte is the quote or blank
    // that closes the name.
    const int p = TextPos(MagazineMarker, page);
    const std::string window =
        TextSlice(page, p + static_cast<int>(MagazineMarker.size()) + 1, MagazineWindow);
    return TextBefore(TextAfter(TextBefore(window, "/"), '"'), "\"");
}

} // namespace velmora
