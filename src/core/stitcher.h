#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace velmora {

// Stitches a page's tile files into its page image and removes the tiles.
// Keeps its canvas and codec handles from page to page; one instance per thread.
class PageStitcher
{
public:
    struct Pauses
    {
        std::chrono::milliseconds afterSave{100};
        std::chrono::milliseconds beforeRemoval{200};
    };

    PageStitcher();
    explicit PageStitcher(Pauses pauses);
    ~PageStitcher();
    PageStitcher(const PageStitcher &) = delete;
    PageStitcher &operator=(const PageStitcher &) = delete;

    // Rows used for a tile count: 4 below 15, 5 for 15-17, 6 from 18 on.
    static int rowsFor(int tilesPerPage) noexcept;

    // false when a tile file of the layout is missing (nothing touched). Otherwise
    // composes pageBase + ".jpg" (unless a non-empty one exists), removes the layout's
    // tile files and returns true; an error passes out (Error) after the tiles are removed.
    bool AssemblePage(const std::string &pageBase, int tilesPerPage);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace velmora
