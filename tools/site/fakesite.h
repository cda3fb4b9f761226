#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The fake reading site: reader pages, the page-layout endpoint and tiles, with faults
// given as scenario data and a log of every request. One server serves the main host
// and the picture host (both 127.0.0.1:PORT unless told otherwise).
namespace velmora::site {

struct Rgb
{
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &) const = default;
};

// The colour every tile of `page` at (row, column) is filled with: distinct for every
// tile of a page and between neighbouring pages, far enough apart to survive JPEG.
Rgb TileColour(int page, int row, int column);

// A JPEG of `width` x `height` filled with `colour` (4:2:0, the given quality).
std::string MakeSolidJpeg(int width, int height, Rgb colour, int quality = 92);

struct Issue
{
    int itemId = 547882;                  // /magazine/reader_<itemId>.html
    std::string magazineId = "4711";
    std::string title = "样刊周报2011(05):春季-夏季"; // UTF-8, before " - Velmora阅读"; written unescaped
    int pageCount = 96;                   // <b id="totalpage">
    int tilesPerPage = 12;                // elements of right_page_arr
    std::string picturePath = "/2011/0520/k7x"; // under /data/magazine, no trailing "/"
    int tileWidth = 60;                   // size of every tile...
    int tileHeight = 80;
    bool unequalTiles = false;            // ...unless: column 3 is 2/3 as wide, the last row 3/4 as high
    bool withTitle = true;                // false: the page has no <title> element at all
    std::string titleText;                // when set, the whole text of <title> (replaces title + site name)
};

struct Size
{
    int width = 0, height = 0;
    bool operator==(const Size &) const = default;
};

// Rows of a page of `tilesPerPage` tiles in three columns: 12 -> 4, 15 -> 5, 18 -> 6.
int TileRows(int tilesPerPage);

// The size of tile (row, column) of every page of `issue`.
Size TileSize(const Issue &issue, int row, int column);

enum class FaultKind {
    Status404,
    Status500,
    EmptyBody,      // 200 with no body
    Truncated,      // 200 with the JPEG cut in half
    Slow,           // the body trickles out over `delayMs`
    CookieRedirect, // 302 to the same tile that sets a cookie; the target requires it
                    // (without the cookie: 302 while the fault lasts, 403 after)
};

struct Fault
{
    std::string tile;        // tile file name such as "0037_2_2.jpg"; "*" for every tile
    FaultKind kind = FaultKind::Status404;
    int times = -1;          // for the first `times` requests of that tile; -1 for ever
                             // (the first fault in the list that applies decides)
    int delayMs = 0;         // for Slow
};

struct Scenario
{
    std::vector<Issue> issues{Issue{}};
    std::vector<Fault> faults;
    std::string pictureHost;         // host[:port] written into reader pages; empty: the site's own
    std::string requiredReferer;     // when set, a tile request without it gets 403
    std::string requiredUserAgent;   // likewise
    std::string layoutAnswer;        // when set, the POST answers this body verbatim
    int readerPageStatus = 200;      // e.g. 404 or 500 to make the reader page fail
};

struct LoggedRequest
{
    std::string method;
    std::string path;                         // without the query
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    int status = 0;
};

class FakeSite
{
public:
    explicit FakeSite(Scenario scenario = {});
    ~FakeSite();
    FakeSite(const FakeSite &) = delete;
    FakeSite &operator=(const FakeSite &) = delete;

    // Serves on 127.0.0.1:port in a background thread; 0 picks a free port.
    // Returns the port. Throws std::runtime_error when it cannot listen.
    int start(int port = 0);
    void stop();

    int port() const;
    std::string host() const;                     // "127.0.0.1:PORT"
    std::string readerUrl(int itemId = 547882) const; // http://host/magazine/reader_<id>.html

    // Replace the scenario while running (request counts per tile start again).
    void setScenario(Scenario scenario);

    std::vector<LoggedRequest> requests() const;
    // Requests whose path ends with `suffix` (e.g. "0037_2_2.jpg").
    int countRequests(const std::string &suffix) const;
    void clearLog();

    // Called with every request as it is logged, before its answer goes out (from the
    // server's threads, one call at a time).
    void setRequestLogger(std::function<void(const LoggedRequest &)> logger);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace velmora::site
