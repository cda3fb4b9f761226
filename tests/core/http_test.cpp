#include "core/http.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include "core/atomicfile.h"
#include "core/error.h"
#include "core/naming.h"
#include "site/fakesite.h"
#include "support/freeport.h"
#include "support/rawhttpserver.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"
#include "support/tinyproxy.h"

using namespace velmora;
using velmora::site::FakeSite;
using velmora::site::Fault;
using velmora::site::FaultKind;
using velmora::site::Scenario;

namespace {

constexpr const char *UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
constexpr int Page = 37;
constexpr int Tile = 4; // "_2_2.jpg"
constexpr const char *TileName = "0037_2_2.jpg";

void writeFile(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary) << data;
}

std::optional<std::string> fileContent(const std::string &path)
{
    if (!std::filesystem::exists(path))
        return std::nullopt;
    return ReadWholeFile(path);
}

// The bytes the site serves for the test tile.
std::string expectedTile()
{
    return site::MakeSolidJpeg(60, 80, site::TileColour(Page, 2, 2));
}

std::string header(const site::LoggedRequest &request, const std::string &name)
{
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string() : found->second;
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Runs `action`, which must throw Error; returns it.
template <typename Action>
Error thrownError(Action action)
{
    try {
        action();
    } catch (const Error &error) {
        return error;
    }
    ADD_FAILURE() << "no Error was thrown";
    return Error("");
}

// A fake site with the default issue, a temporary folder, and the network library.
class SiteTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_curl = std::make_unique<CurlGlobal>(); }
    static void TearDownTestSuite() { s_curl.reset(); }

    void SetUp() override { m_site.start(); }

    std::string pictureBase() const { return "http://" + m_site.host() + "/data/magazine/2011/0520/k7x/"; }
    std::string layoutUrl() const { return "http://" + m_site.host() + "/magazine/reader/ajaxOriginalPage/"; }

    TileRequest tileRequest() const
    {
        TileRequest request;
        request.url = TileUrl(pictureBase(), Page, Tile);
        request.referer = m_site.readerUrl();
        request.file = TileFile(m_dir.path(), Page, Tile);
        request.pause = std::chrono::milliseconds(0);
        return request;
    }

    // A proxy of the machine running the tests stays out of the way, except where a
    // test names one itself.
    ScopedEnv m_lowerProxy{"http_proxy", std::nullopt};
    ScopedEnv m_upperProxy{"HTTP_PROXY", std::nullopt};
    ScopedEnv m_lowerAllProxy{"all_proxy", std::nullopt};
    ScopedEnv m_upperAllProxy{"ALL_PROXY", std::nullopt};
    FakeSite m_site;
    TempDir m_dir;

private:
    static std::unique_ptr<CurlGlobal> s_curl;
};

std::unique_ptr<CurlGlobal> SiteTest::s_curl;

using DownloadTileTest = SiteTest;
using FetchToFileTest = SiteTest;
using PostFormTest = SiteTest;

} // namespace

TEST_F(DownloadTileTest, SendsTheFixedRequestHeaders)
{
    const TileRequest request = tileRequest();
    EXPECT_EQ(DownloadTile(request), 1);

    const auto log = m_site.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/data/magazine/2011/0520/k7x/900/3/7/0037_2_2.jpg");
    EXPECT_EQ(header(log[0], "accept"), "*/*");
    EXPECT_EQ(header(log[0], "referer"), m_site.readerUrl());
    EXPECT_EQ(header(log[0], "user-agent"), UserAgent);
    EXPECT_EQ(header(log[0], "connection"), "Keep-Alive");
    EXPECT_EQ(header(log[0], "via"), "");
    EXPECT_EQ(fileContent(request.file), expectedTile());
}

TEST_F(DownloadTileTest, RequestLineIsHttp11)
{
    RawHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\ntile");
    TileRequest request = tileRequest();
    request.url = server.url("/t/0001_1_1.jpg");
    EXPECT_EQ(DownloadTile(request), 1);

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(startsWith(received[0], "GET /t/0001_1_1.jpg HTTP/1.1\r\n")) << received[0];
    EXPECT_EQ(fileContent(request.file), "tile");
}

// A redirect that cannot be followed is a final status outside 2xx as well.
TEST_F(DownloadTileTest, RedirectWithoutTargetFails)
{
    RawHttpServer server("HTTP/1.1 302 Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    TileRequest request = tileRequest();
    request.url = server.url("/t/0037_2_2.jpg");
    const Error error = thrownError([&] { DownloadTile(request); });
    EXPECT_EQ(error.code(), 302);
    EXPECT_EQ(std::string(error.what()), std::string("while fetching tile ") + TileName + ": HTTP 302");
    EXPECT_FALSE(fileContent(request.file).has_value());
}

// What the fetch loop does for each state of the tile file and each answer of the site.
TEST_F(DownloadTileTest, FetchLoopByFileStateAndAnswer)
{
    enum class FileState { Missing, Empty, Old, Tile };
    struct Row
    {
        const char *name;
        FileState before;
        std::vector<Fault> faults;
        int requests;     // returned; -1 when an Error is expected
        long errorCode;   // of that Error
        int siteRequests; // as the site logged them, redirects included
        FileState after;
    };
    const Row rows[] = {
        {"missing file, good tile", FileState::Missing, {}, 1, 0, 1, FileState::Tile},
        {"non-empty file is kept", FileState::Old, {}, 0, 0, 0, FileState::Old},
        {"empty file is fetched once", FileState::Empty, {}, 1, 0, 1, FileState::Tile},
        {"empty body, then the tile", FileState::Missing, {{TileName, FaultKind::EmptyBody, 1}}, 2, 0, 2,
         FileState::Tile},
        {"empty body twice", FileState::Missing, {{TileName, FaultKind::EmptyBody, -1}}, 2, 0, 2,
         FileState::Empty},
        {"empty file, empty body", FileState::Empty, {{TileName, FaultKind::EmptyBody, -1}}, 1, 0, 1,
         FileState::Empty},
        {"cookie redirect", FileState::Missing, {{TileName, FaultKind::CookieRedirect, -1}}, 1, 0, 2,
         FileState::Tile},
        {"404", FileState::Missing, {{TileName, FaultKind::Status404, -1}}, -1, 404, 1, FileState::Missing},
        {"500", FileState::Missing, {{"*", FaultKind::Status500, -1}}, -1, 500, 1, FileState::Missing},
        {"empty file, 404", FileState::Empty, {{TileName, FaultKind::Status404, -1}}, -1, 404, 1,
         FileState::Empty},
        {"empty body, then 500", FileState::Missing,
         {{TileName, FaultKind::EmptyBody, 1}, {TileName, FaultKind::Status500, -1}}, -1, 500, 2,
         FileState::Empty},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.faults = row.faults;
        m_site.setScenario(scenario);
        m_site.clearLog();
        const TileRequest request = tileRequest();
        std::filesystem::remove(request.file);
        if (row.before == FileState::Empty)
            writeFile(request.file, "");
        else if (row.before == FileState::Old)
            writeFile(request.file, "old tile");

        if (row.requests >= 0) {
            EXPECT_EQ(DownloadTile(request), row.requests);
        } else {
            const Error error = thrownError([&] { DownloadTile(request); });
            EXPECT_EQ(error.code(), row.errorCode);
            EXPECT_EQ(std::string(error.what()),
                      std::string("while fetching tile ") + TileName + ": HTTP " + std::to_string(row.errorCode));
        }
        EXPECT_EQ(m_site.countRequests(TileName), row.siteRequests);

        const auto content = fileContent(request.file);
        switch (row.after) {
        case FileState::Missing:
            EXPECT_FALSE(content.has_value());
            break;
        case FileState::Empty:
            EXPECT_EQ(content, "");
            break;
        case FileState::Old:
            EXPECT_EQ(content, "old tile");
            break;
        case FileState::Tile:
            EXPECT_EQ(content, expectedTile());
            break;
        }
    }
}

TEST_F(DownloadTileTest, CookieFromTheRedirectIsSentBack)
{
    Scenario scenario;
    scenario.faults = {{TileName, FaultKind::CookieRedirect, -1}};
    m_site.setScenario(scenario);
    const TileRequest request = tileRequest();
    ASSERT_EQ(DownloadTile(request), 1);

    const auto log = m_site.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].status, 302);
    EXPECT_EQ(header(log[0], "cookie"), "");
    EXPECT_EQ(log[1].status, 200);
    EXPECT_NE(header(log[1], "cookie"), "");
    EXPECT_EQ(header(log[1], "referer"), m_site.readerUrl());
}

TEST_F(DownloadTileTest, TickedProxyCarriesTheRequest)
{
    TinyProxy proxy;
    // no_proxy must not turn a chosen proxy off.
    const ScopedEnv noProxy("no_proxy", "*");
    const ScopedEnv upperNoProxy("NO_PROXY", "*");
    TileRequest request = tileRequest();
    request.useProxy = true;
    request.proxyHost = proxy.host();
    request.proxyPort = proxy.port();
    EXPECT_EQ(DownloadTile(request), 1);

    EXPECT_EQ(fileContent(request.file), expectedTile());
    const auto log = m_site.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(header(log[0], "via").find("tinyproxy"), std::string::npos) << header(log[0], "via");
    EXPECT_EQ(header(log[0], "referer"), m_site.readerUrl());
    EXPECT_EQ(header(log[0], "user-agent"), UserAgent);
    EXPECT_NE(proxy.log().find("GET " + request.url + " HTTP/1.1"), std::string::npos) << proxy.log();
}

// Without a ticked proxy host the request goes out directly, even when the environment
// names a proxy (here a port nobody listens on).
TEST_F(DownloadTileTest, NoProxyMeansDirectWhateverTheEnvironmentSays)
{
    struct Row
    {
        const char *name;
        bool useProxy;
        bool withHost;
    };
    const Row rows[] = {
        {"ticked, empty host", true, false},
        {"not ticked, host given", false, true},
        {"not ticked, no host", false, false},
    };
    const int deadPort = FreeLocalPort();
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(deadPort) + "/";
    const ScopedEnv lower("http_proxy", deadProxy);
    const ScopedEnv upper("HTTP_PROXY", deadProxy);
    const ScopedEnv all("ALL_PROXY", deadProxy);
    const ScopedEnv noProxy("no_proxy", std::nullopt);
    const ScopedEnv upperNoProxy("NO_PROXY", std::nullopt);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        m_site.clearLog();
        TileRequest request = tileRequest();
        std::filesystem::remove(request.file);
        request.useProxy = row.useProxy;
        request.proxyHost = row.withHost ? "127.0.0.1" : "";
        request.proxyPort = row.withHost ? deadPort : 0;
        EXPECT_EQ(DownloadTile(request), 1);
        EXPECT_EQ(fileContent(request.file), expectedTile());
        EXPECT_EQ(m_site.countRequests(TileName), 1);
    }
}

TEST_F(DownloadTileTest, DeadProxyFailsTheTile)
{
    TileRequest request = tileRequest();
    request.useProxy = true;
    request.proxyHost = "127.0.0.1";
    request.proxyPort = FreeLocalPort();
    const Error error = thrownError([&] { DownloadTile(request); });
    EXPECT_EQ(error.code(), CURLE_COULDNT_CONNECT);
    EXPECT_TRUE(startsWith(error.what(), std::string("while fetching tile ") + TileName + ": ")) << error.what();
    EXPECT_FALSE(fileContent(request.file).has_value());
    EXPECT_EQ(m_site.countRequests(TileName), 0);
}

TEST_F(DownloadTileTest, OversizedTileIsRefused)
{
    TileRequest request = tileRequest();
    request.limits.maxBodyBytes = 100;
    const Error error = thrownError([&] { DownloadTile(request); });
    EXPECT_EQ(std::string(error.what()),
              std::string("while fetching tile ") + TileName + ": the answer is larger than 100 bytes");
    EXPECT_EQ(error.code(), CURLE_FILESIZE_EXCEEDED);
    EXPECT_FALSE(fileContent(request.file).has_value());
}

TEST_F(FetchToFileTest, SavesTheReaderPage)
{
    const std::string path = m_dir.file("index.html");
    FetchToFile(m_site.readerUrl(), path);
    const auto content = fileContent(path);
    ASSERT_TRUE(content.has_value());
    EXPECT_NE(content->find("<b id=\"totalpage\">96</b>"), std::string::npos);
}

TEST_F(FetchToFileTest, FailuresNameTheAddressAndWriteNothing)
{
    struct Row
    {
        const char *name;
        std::string url;
        long code;
        std::string reason; // the whole text after "while fetching <url>: "; empty: any
    };
    Scenario failing;
    failing.readerPageStatus = 404;
    m_site.setScenario(failing);
    const std::vector<Row> rows = {
        {"404", m_site.readerUrl(), 404, "HTTP 404"},
        {"refused", "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/index.html",
         CURLE_COULDNT_CONNECT, ""},
        {"file scheme", "file:///etc/hostname", CURLE_UNSUPPORTED_PROTOCOL,
         "only http and https addresses are fetched"},
        {"ftp scheme", "ftp://127.0.0.1/index.html", CURLE_UNSUPPORTED_PROTOCOL,
         "only http and https addresses are fetched"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string fresh = m_dir.file("fresh.html");
        const Error error = thrownError([&] { FetchToFile(row.url, fresh); });
        EXPECT_EQ(error.code(), row.code);
        const std::string prefix = "while fetching " + row.url + ": ";
        EXPECT_TRUE(startsWith(error.what(), prefix)) << error.what();
        if (!row.reason.empty()) {
            EXPECT_EQ(std::string(error.what()), prefix + row.reason);
        }
        EXPECT_FALSE(fileContent(fresh).has_value());

        // An earlier page in the way is left as it was.
        const std::string older = m_dir.file("older.html");
        writeFile(older, "earlier page");
        EXPECT_THROW(FetchToFile(row.url, older), Error);
        EXPECT_EQ(fileContent(older), "earlier page");
    }
}

TEST_F(FetchToFileTest, RedirectToAnotherSchemeIsRefused)
{
    RawHttpServer server("HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/index.html\r\n"
                         "Content-Length: 0\r\nConnection: close\r\n\r\n");
    const std::string path = m_dir.file("index.html");
    const Error error = thrownError([&] { FetchToFile(server.url("/reader.html"), path); });
    EXPECT_EQ(error.code(), CURLE_UNSUPPORTED_PROTOCOL);
    EXPECT_EQ(std::string(error.what()),
              "while fetching " + server.url("/reader.html") + ": only http and https addresses are fetched");
    EXPECT_FALSE(fileContent(path).has_value());
}

// A body of unannounced length is cut off by the write callback rather than the size check.
TEST_F(FetchToFileTest, OversizedBodyWithoutLengthIsRefused)
{
    RawHttpServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(5000, 'x'));
    const std::string path = m_dir.file("index.html");
    TransferLimits limits;
    limits.maxBodyBytes = 1000;
    const Error error = thrownError([&] { FetchToFile(server.url("/big"), path, limits); });
    EXPECT_EQ(std::string(error.what()),
              "while fetching " + server.url("/big") + ": the answer is larger than 1000 bytes");
    EXPECT_FALSE(fileContent(path).has_value());
}

TEST_F(FetchToFileTest, EnvironmentProxyApplies)
{
    TinyProxy proxy;
    const std::string address = "http://127.0.0.1:" + std::to_string(proxy.port()) + "/";
    const ScopedEnv lower("http_proxy", address);
    const ScopedEnv noProxy("no_proxy", std::nullopt);
    const ScopedEnv upperNoProxy("NO_PROXY", std::nullopt);
    const std::string path = m_dir.file("index.html");
    FetchToFile(m_site.readerUrl(), path);

    ASSERT_TRUE(fileContent(path).has_value());
    const auto log = m_site.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(header(log[0], "via").find("tinyproxy"), std::string::npos);
}

TEST_F(PostFormTest, SendsTheBodyAsGiven)
{
    const std::string body = "current_arr=0&item_id=547882&magazine_id=4711";
    const std::string answer = PostForm(layoutUrl(), body);
    EXPECT_NE(answer.find("\"right_page_arr\""), std::string::npos) << answer;

    const auto log = m_site.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].path, "/magazine/reader/ajaxOriginalPage/");
    EXPECT_EQ(log[0].body, body);
    EXPECT_EQ(header(log[0], "content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(header(log[0], "content-length"), std::to_string(body.size()));
    EXPECT_EQ(header(log[0], "expect"), "");
}

TEST_F(PostFormTest, StatusIsNotLookedAt)
{
    RawHttpServer server("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n"
                         "Connection: close\r\n\r\noops!");
    EXPECT_EQ(PostForm(server.url("/magazine/reader/ajaxOriginalPage/"), "current_arr=0&item_id=&magazine_id="),
              "oops!");
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(startsWith(received[0], "POST /magazine/reader/ajaxOriginalPage/ HTTP/1.1\r\n"));
    EXPECT_EQ(received[0].substr(received[0].size() - 35), "current_arr=0&item_id=&magazine_id=");
}

TEST_F(PostFormTest, TransferFailureNamesTheAddress)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/magazine/reader/ajaxOriginalPage/";
    const Error error = thrownError([&] { PostForm(url, "current_arr=0"); });
    EXPECT_EQ(error.code(), CURLE_COULDNT_CONNECT);
    EXPECT_TRUE(startsWith(error.what(), "while asking " + url + " for the page layout: ")) << error.what();
}
