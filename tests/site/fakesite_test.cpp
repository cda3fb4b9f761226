#include "site/fakesite.h"

#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/jpegfixture.h"

using namespace velmora::site;

namespace {

const char *const BrowserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

struct CurlDeleter
{
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct CurlListDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;


struct Reply
{
    CURLcode result = CURLE_OK;
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers; // of the last answer, names in lower case

    std::string header(const std::string &name) const
    {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

struct Fetch
{
    std::vector<std::string> headers; // "Name: value"
    std::optional<std::string> form;  // POST this body as a form
    bool followRedirects = false;
    bool cookies = false;             // keep cookies across the redirects of this fetch
};

Fetch postingForm(const std::string &form)
{
    Fetch how;
    how.form = form;
    return how;
}

Fetch sendingHeaders(const std::vector<std::string> &headers)
{
    Fetch how;
    how.headers = headers;
    return how;
}

Fetch followingRedirects(bool cookies)
{
    Fetch how;
    how.followRedirects = true;
    how.cookies = cookies;
    return how;
}

std::size_t appendBody(char *data, std::size_t size, std::size_t count, void *target)
{
    static_cast<std::string *>(target)->append(data, size * count);
    return size * count;
}

std::size_t keepHeader(char *data, std::size_t size, std::size_t count, void *target)
{
    auto &headers = *static_cast<std::map<std::string, std::string> *>(target);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        headers.clear(); // a new answer after a redirect
    } else if (const auto colon = line.find(':'); colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char &c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n ") + 1);
        headers[name] = value;
    }
    return size * count;
}

Reply fetch(const std::string &url, const Fetch &how = {})
{
    Reply reply;
    CurlHandle curl(curl_easy_init());
    if (!curl) {
        reply.result = CURLE_FAILED_INIT;
        return reply;
    }
    CurlList headers;
    for (const std::string &header : how.headers)
        headers.reset(curl_slist_append(headers.release(), header.c_str()));

    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, keepHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply.headers);
    if (how.form)
        curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, how.form->c_str());
    if (how.followRedirects) {
        curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, 3L);
    }
    if (how.cookies)
        curl_easy_setopt(curl.get(), CURLOPT_COOKIEFILE, "");
    reply.result = curl_easy_perform(curl.get());
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

// A served tile decoded, or nothing when it is not a whole JPEG.
std::optional<DecodedJpeg> decodeJpeg(const std::string &body)
{
    try {
        return decodeJpegBytes(body, "the answer");
    } catch (const std::runtime_error &) {
        return std::nullopt;
    }
}

// The second issue of the fixture: 15 tiles per page, uneven tile sizes.
Issue secondIssue()
{
    Issue issue;
    issue.itemId = 547901;
    issue.magazineId = "4712";
    issue.title = "样刊月刊2011(06)";
    issue.pageCount = 48;
    issue.tilesPerPage = 15;
    issue.picturePath = "/2011/0601/m3q";
    issue.unequalTiles = true;
    return issue;
}

class FakeSiteTest : public ::testing::Test
{
protected:
    void SetUp() override { site.start(); }

    // Built by hand from the site's naming rules, independently of the site's own code.
    std::string tileUrl(const std::string &tile, const std::string &picturePath = "/2011/0520/k7x") const
    {
        return "http://" + site.host() + "/data/magazine" + picturePath + "/900/" + tile.substr(2, 1)
            + "/" + tile.substr(3, 1) + "/" + tile;
    }

    static Scenario twoIssues()
    {
        Scenario scenario;
        scenario.issues.push_back(secondIssue());
        return scenario;
    }

    FakeSite site{twoIssues()};
};

// ---- reader page ---------------------------------------------------------------

TEST_F(FakeSiteTest, ReaderPageCarriesTheMarkersTheParserLooksFor)
{
    const Reply reply = fetch(site.readerUrl());
    ASSERT_EQ(reply.result, CURLE_OK);
    EXPECT_EQ(reply.status, 200);
    const std::string &page = reply.body;

    EXPECT_NE(page.find("<title>样刊周报2011(05):春季-夏季 - Velmora阅读</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("共<b id=\"totalpage\">96</b>页"), std::string::npos) << page;

    // The parser reads the first "magazine_id" and the first picture prefix of the page,
    // so those must be the hidden field and the thumbnail.
    const std::string field = "<input type=\"hidden\" id=\"magazine_id\" value=\"4711\"/>";
    ASSERT_NE(page.find(field), std::string::npos) << page;
    EXPECT_EQ(page.find("magazine_id"), page.find(field) + field.find("magazine_id"));
    const std::string prefix = "http://" + site.host() + "/data/magazine";
    const std::string thumbnail = "src=\"" + prefix + "/2011/0520/k7x/b_thumb/0001.jpg\"";
    ASSERT_NE(page.find(thumbnail), std::string::npos) << page;
    EXPECT_EQ(page.find(prefix), page.find(thumbnail) + 5);
}

TEST_F(FakeSiteTest, ReaderPageNamesTheConfiguredPictureHost)
{
    Scenario scenario = twoIssues();
    scenario.pictureHost = "pic.velmora.example:8080";
    site.setScenario(scenario);

    const Reply reply = fetch(site.readerUrl(547901));
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(reply.body.find("src=\"http://pic.velmora.example:8080/data/magazine/2011/0601/m3q/b_thumb/0001.jpg\""),
              std::string::npos) << reply.body;
    EXPECT_NE(reply.body.find("共<b id=\"totalpage\">48</b>页"), std::string::npos);
}

TEST_F(FakeSiteTest, ReaderPageFailures)
{
    struct Case { const char *name; int readerPageStatus; int item; long status; };
    const Case cases[] = {
        {"unknown item", 200, 123, 404},
        {"site answers 500", 500, 547882, 500},
        {"site answers 404", 404, 547882, 404},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario = twoIssues();
        scenario.readerPageStatus = c.readerPageStatus;
        site.setScenario(scenario);
        const Reply reply = fetch(site.readerUrl(c.item));
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.body.find("totalpage"), std::string::npos);
    }
}

// ---- page-layout answer --------------------------------------------------------

TEST_F(FakeSiteTest, LayoutAnswerHasOneElementPerTile)
{
    struct Case { const char *item; int tiles; };
    const Case cases[] = {{"547882", 12}, {"547901", 15}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.item);
        const std::string form = std::string("current_arr=0&item_id=") + c.item + "&magazine_id=4711";
        const Reply reply = fetch("http://" + site.host() + "/magazine/reader/ajaxOriginalPage/", postingForm(form));
        ASSERT_EQ(reply.status, 200);
        const auto answer = nlohmann::json::parse(reply.body);
        ASSERT_TRUE(answer.contains("right_page_arr")) << reply.body;
        EXPECT_TRUE(answer["right_page_arr"].is_array());
        EXPECT_EQ(answer["right_page_arr"].size(), static_cast<std::size_t>(c.tiles));
    }
}

TEST_F(FakeSiteTest, LayoutAnswerForAnUnknownItemHasNoTiles)
{
    const Reply reply = fetch("http://" + site.host() + "/magazine/reader/ajaxOriginalPage/",
                              postingForm("current_arr=0&item_id=1&magazine_id=4711"));
    const auto answer = nlohmann::json::parse(reply.body);
    EXPECT_TRUE(answer.is_object());
    EXPECT_FALSE(answer.contains("right_page_arr"));
}

TEST_F(FakeSiteTest, LayoutAnswerFromTheScenarioIsSentVerbatim)
{
    Scenario scenario = twoIssues();
    scenario.layoutAnswer = R"({"right_page_arr":null} and some trailing text)";
    site.setScenario(scenario);
    const Reply reply = fetch("http://" + site.host() + "/magazine/reader/ajaxOriginalPage/",
                              postingForm("current_arr=0&item_id=547882&magazine_id=4711"));
    EXPECT_EQ(reply.body, scenario.layoutAnswer);
}

// ---- tiles ----------------------------------------------------------------------

TEST_F(FakeSiteTest, TileIsASolidJpegOfItsSizeAndColour)
{
    struct Case { std::string tile; const char *picturePath; int page, row, column; int width, height; };
    const Case cases[] = {
        {"0037_2_2.jpg", "/2011/0520/k7x", 37, 2, 2, 60, 80},
        {"0000_1_1.jpg", "/2011/0520/k7x", 0, 1, 1, 60, 80},
        {"0096_4_3.jpg", "/2011/0520/k7x", 96, 4, 3, 60, 80},
        // the uneven issue: column 3 narrower, the last (5th) row lower
        {"0012_3_2.jpg", "/2011/0601/m3q", 12, 3, 2, 60, 80},
        {"0005_1_3.jpg", "/2011/0601/m3q", 5, 1, 3, 40, 80},
        {"0005_5_1.jpg", "/2011/0601/m3q", 5, 5, 1, 60, 60},
        {"0005_5_3.jpg", "/2011/0601/m3q", 5, 5, 3, 40, 60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.picturePath) + "/" + c.tile);
        const Reply reply = fetch(tileUrl(c.tile, c.picturePath));
        ASSERT_EQ(reply.status, 200);
        EXPECT_EQ(reply.header("content-type"), "image/jpeg");
        const auto decoded = decodeJpeg(reply.body);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->width, c.width);
        EXPECT_EQ(decoded->height, c.height);
        const Rgb expected = TileColour(c.page, c.row, c.column);
        const Rgb centre = decoded->pixel(decoded->width / 2, decoded->height / 2);
        EXPECT_TRUE(nearColour(centre, expected, 12))
            << "centre " << describe(centre) << " expected " << describe(expected);
    }
}

TEST_F(FakeSiteTest, PathsThatNameNoTileAreNotFound)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(site.port()) + "/data/magazine/2011/0520/k7x/900/";
    struct Case { const char *name; std::string url; };
    const Case cases[] = {
        {"wrong tens digit", base + "4/7/0037_2_2.jpg"},
        {"wrong units digit", base + "3/8/0037_2_2.jpg"},
        {"page past the last", base + "9/7/0097_1_1.jpg"},
        {"row 5 of a 12-tile page", base + "3/7/0037_5_1.jpg"},
        {"row 0", base + "3/7/0037_0_1.jpg"},
        {"column 4", base + "3/7/0037_1_4.jpg"},
        {"page name not padded", base + "3/7/37_1_1.jpg"},
        {"row 6 of a 15-tile page", tileUrl("0005_6_1.jpg", "/2011/0601/m3q")},
        {"unknown picture path", tileUrl("0037_2_2.jpg", "/2011/0520/zzz")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetch(c.url).status, 404);
    }
}

TEST_F(FakeSiteTest, FaultsHitTheFirstRequestsOfTheirTile)
{
    enum class Body { Whole, Empty, Half, NotJpeg };
    struct Answer { long status; Body body; };
    struct Case { const char *name; Fault fault; std::vector<Answer> answers; };
    const Case cases[] = {
        {"404 twice", {"0037_2_2.jpg", FaultKind::Status404, 2},
         {{404, Body::NotJpeg}, {404, Body::NotJpeg}, {200, Body::Whole}}},
        {"500 twice", {"0037_2_2.jpg", FaultKind::Status500, 2},
         {{500, Body::NotJpeg}, {500, Body::NotJpeg}, {200, Body::Whole}}},
        {"empty once", {"0037_2_2.jpg", FaultKind::EmptyBody, 1}, {{200, Body::Empty}, {200, Body::Whole}}},
        {"truncated twice", {"0037_2_2.jpg", FaultKind::Truncated, 2},
         {{200, Body::Half}, {200, Body::Half}, {200, Body::Whole}}},
        {"slow, whole body", {"0037_2_2.jpg", FaultKind::Slow, 1, 100}, {{200, Body::Whole}, {200, Body::Whole}}},
        {"every tile, once", {"*", FaultKind::Status500, 1}, {{500, Body::NotJpeg}, {200, Body::Whole}}},
        {"for ever", {"0037_2_2.jpg", FaultKind::Status404, -1},
         {{404, Body::NotJpeg}, {404, Body::NotJpeg}, {404, Body::NotJpeg}}},
    };
    const std::string whole = MakeSolidJpeg(60, 80, TileColour(37, 2, 2));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Scenario scenario = twoIssues();
        scenario.faults = {c.fault};
        site.setScenario(scenario);

        for (std::size_t i = 0; i < c.answers.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(i + 1));
            const Reply reply = fetch(tileUrl("0037_2_2.jpg"));
            EXPECT_EQ(reply.result, CURLE_OK);
            EXPECT_EQ(reply.status, c.answers[i].status);
            switch (c.answers[i].body) {
            case Body::Whole: EXPECT_EQ(reply.body, whole); break;
            case Body::Empty:
                EXPECT_EQ(reply.body, "");
                EXPECT_EQ(reply.header("content-length"), "0");
                break;
            case Body::Half: EXPECT_EQ(reply.body, whole.substr(0, whole.size() / 2)); break;
            case Body::NotJpeg: EXPECT_FALSE(decodeJpeg(reply.body)); break;
            }
        }
        // Other tiles keep their own count.
        const long otherStatus = fetch(tileUrl("0037_2_3.jpg")).status;
        EXPECT_EQ(otherStatus, c.fault.tile == "*" ? 500 : 200);
    }
}

TEST_F(FakeSiteTest, NewScenarioCountsTheRequestsAfresh)
{
    Scenario scenario = twoIssues();
    scenario.faults = {{"0037_2_2.jpg", FaultKind::Status404, 1}};
    site.setScenario(scenario);
    EXPECT_EQ(fetch(tileUrl("0037_2_2.jpg")).status, 404);
    EXPECT_EQ(fetch(tileUrl("0037_2_2.jpg")).status, 200);
    site.setScenario(scenario);
    EXPECT_EQ(fetch(tileUrl("0037_2_2.jpg")).status, 404);
}

TEST_F(FakeSiteTest, CookieGateRedirectsToItselfAndServesOnlyWithTheCookie)
{
    Scenario scenario = twoIssues();
    scenario.faults = {{"0037_2_2.jpg", FaultKind::CookieRedirect, -1}};
    site.setScenario(scenario);
    const std::string url = tileUrl("0037_2_2.jpg");

    Reply reply = fetch(url);
    EXPECT_EQ(reply.status, 302);
    EXPECT_EQ(reply.header("location"), url);
    EXPECT_EQ(reply.header("set-cookie").rfind("velmora_gate=1", 0), 0u) << reply.header("set-cookie");

    reply = fetch(url, followingRedirects(true));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, MakeSolidJpeg(60, 80, TileColour(37, 2, 2)));
    const auto log = site.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].status, 302);
    EXPECT_EQ(log[2].status, 200);
    EXPECT_EQ(log[2].headers.count("cookie") ? log[2].headers.at("cookie") : "", "velmora_gate=1");

    reply = fetch(url, followingRedirects(false));
    EXPECT_EQ(reply.result, CURLE_TOO_MANY_REDIRECTS);
    EXPECT_FALSE(decodeJpeg(reply.body));

    // Once the gate has stopped redirecting, a request without the cookie is refused.
    scenario.faults = {{"0037_2_2.jpg", FaultKind::CookieRedirect, 1}};
    site.setScenario(scenario);
    EXPECT_EQ(fetch(url).status, 302);
    EXPECT_EQ(fetch(url).status, 403);
    EXPECT_EQ(fetch(url, sendingHeaders({"Cookie: velmora_gate=1"})).status, 200);
}

TEST_F(FakeSiteTest, TileRequestsNeedTheRequiredHeaders)
{
    Scenario scenario = twoIssues();
    scenario.requiredReferer = site.readerUrl();
    scenario.requiredUserAgent = BrowserAgent;
    site.setScenario(scenario);

    const std::string referer = "Referer: " + site.readerUrl();
    const std::string agent = std::string("User-Agent: ") + BrowserAgent;
    struct Case { const char *name; std::vector<std::string> headers; long status; };
    const Case cases[] = {
        {"both", {referer, agent}, 200},
        {"no referer", {agent}, 403},
        {"other referer", {"Referer: http://elsewhere.example/", agent}, 403},
        {"other agent", {referer, "User-Agent: curl"}, 403},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fetch(tileUrl("0037_2_2.jpg"), sendingHeaders(c.headers)).status, c.status);
    }
}

// ---- request log ------------------------------------------------------------------

TEST_F(FakeSiteTest, LogKeepsEveryRequestWithItsAnswer)
{
    const std::string form = "current_arr=0&item_id=547882&magazine_id=4711";
    fetch("http://" + site.host() + "/magazine/reader/ajaxOriginalPage/", postingForm(form));
    fetch(tileUrl("0037_2_2.jpg") + "?x=1", sendingHeaders({"Referer: http://r.example/"}));
    fetch("http://" + site.host() + "/nowhere");

    const auto log = site.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].path, "/magazine/reader/ajaxOriginalPage/");
    EXPECT_EQ(log[0].body, form);
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[0].headers.count("content-type") ? log[0].headers.at("content-type") : "",
              "application/x-www-form-urlencoded");
    EXPECT_EQ(log[0].headers.count("remote_addr"), 0u);

    EXPECT_EQ(log[1].method, "GET");
    EXPECT_EQ(log[1].path, "/data/magazine/2011/0520/k7x/900/3/7/0037_2_2.jpg");
    EXPECT_EQ(log[1].headers.count("referer") ? log[1].headers.at("referer") : "", "http://r.example/");
    EXPECT_EQ(log[1].status, 200);
    EXPECT_EQ(log[2].status, 404);

    EXPECT_EQ(site.countRequests("0037_2_2.jpg"), 1);
    EXPECT_EQ(site.countRequests("_2_2.jpg"), 1);
    EXPECT_EQ(site.countRequests("0037_2_3.jpg"), 0);
    site.clearLog();
    EXPECT_TRUE(site.requests().empty());
}

// ---- lifecycle ---------------------------------------------------------------------

TEST_F(FakeSiteTest, StopsAndStartsAgainOnTheSamePort)
{
    const int port = site.port();
    site.stop();
    EXPECT_EQ(fetch("http://127.0.0.1:" + std::to_string(port) + "/magazine/reader_547882.html").result,
              CURLE_COULDNT_CONNECT);
    ASSERT_EQ(site.start(port), port);
    EXPECT_EQ(fetch(site.readerUrl()).status, 200);
}

// ---- colours -------------------------------------------------------------------------

TEST(TileColourTest, DistinctWithinAPageAndFromNeighbouringPages)
{
    for (int page : {0, 1, 37, 95}) {
        SCOPED_TRACE("page " + std::to_string(page));
        std::vector<std::pair<std::string, Rgb>> colours;
        for (int p = page - 1; p <= page + 1; ++p)
            for (int row = 1; row <= 6; ++row)
                for (int column = 1; column <= 3; ++column)
                    colours.emplace_back(std::to_string(p) + "_" + std::to_string(row) + "_"
                                             + std::to_string(column),
                                         TileColour(p, row, column));
        // Apart by more than twice the tolerance a decoded tile is checked with.
        for (std::size_t i = 0; i < colours.size(); ++i)
            for (std::size_t j = i + 1; j < colours.size(); ++j)
                EXPECT_FALSE(nearColour(colours[i].second, colours[j].second, 24))
                    << colours[i].first << " and " << colours[j].first;
    }
}

} // namespace
