#include "site/fakesite.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <thread>
#include <tuple>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace velmora::site {

namespace {

constexpr int ServerThreads = 32;
constexpr const char *GateCookie = "velmora_gate=1";
constexpr const char *PictureRoot = "/data/magazine";

// The page number as the site names it: at least four digits, "%4.4d".
std::string pageName(int page)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%4.4d", page);
    return buffer;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The value of `key` in an "a=1&b=2" form body; empty when it is missing.
std::string formValue(const std::string &body, const std::string &key)
{
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string field = body.substr(start, end - start);
        const std::size_t equals = field.find('=');
        if (field.substr(0, equals) == key)
            return equals == std::string::npos ? std::string() : field.substr(equals + 1);
        start = end + 1;
    }
    return {};
}

bool hasGateCookie(const httplib::Request &request)
{
    for (std::size_t i = 0; i < request.get_header_value_count("Cookie"); ++i) {
        const std::string cookies = request.get_header_value("Cookie", i);
        std::size_t start = 0;
        while (start < cookies.size()) {
            std::size_t end = cookies.find(';', start);
            if (end == std::string::npos)
                end = cookies.size();
            std::string cookie = cookies.substr(start, end - start);
            cookie.erase(0, cookie.find_first_not_of(' '));
            cookie.erase(cookie.find_last_not_of(' ') + 1);
            if (cookie == GateCookie)
                return true;
            start = end + 1;
        }
    }
    return false;
}

std::string titleElement(const Issue &issue)
{
    if (!issue.withTitle)
        return {};
    const std::string text = issue.titleText.empty() ? issue.title + " - Velmora阅读" : issue.titleText;
    return "<title>" + text + "</title>\n";
}

std::string readerPage(const Issue &issue, const std::string &pictureHost)
{
    const std::string item = std::to_string(issue.itemId);
    const std::string thumb = "http://" + pictureHost + PictureRoot + issue.picturePath
        + "/b_thumb/0001.jpg";
    return "<!DOCTYPE html>\n"
           "<html>\n"
           "<head>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
        + titleElement(issue) +
           "<link rel=\"stylesheet\" type=\"text/css\" href=\"/css/reader.css\" />\n"
           "</head>\n"
           "<body>\n"
           "<div id=\"header\"><a href=\"/\">Velmora阅读</a> &gt; <a href=\"/magazine/\">杂志</a></div>\n"
           "<div id=\"reader\">\n"
           "  <div class=\"pager\"><a href=\"javascript:;\" id=\"prev\">上一页</a>"
           " 第<span id=\"curpage\">1</span>页 / 共<b id=\"totalpage\">"
        + std::to_string(issue.pageCount) + "</b>页"
           " <a href=\"javascript:;\" id=\"next\">下一页</a></div>\n"
           "  <input type=\"hidden\" id=\"item_id\" value=\"" + item + "\"/>\n"
           "  <input type=\"hidden\" id=\"magazine_id\" value=\"" + issue.magazineId + "\"/>\n"
           "  <div id=\"page_box\"><img id=\"page_img\" src=\"" + thumb + "\" /></div>\n"
           "</div>\n"
           "<script type=\"text/javascript\">\n"
           "var item_id = \"" + item + "\";\n"
           "$.post(\"/magazine/reader/ajaxOriginalPage/\", {current_arr: 0, item_id: item_id,"
           " magazine_id: $(\"#magazine_id\").val()}, showPages, \"json\");\n"
           "</script>\n"
           "</body>\n"
           "</html>\n";
}

std::string layoutAnswer(const Issue &issue)
{
    nlohmann::json tiles = nlohmann::json::array();
    for (int i = 0; i < issue.tilesPerPage; ++i)
        tiles.push_back({{"row", i / 3 + 1}, {"col", i % 3 + 1}});
    return nlohmann::json{{"right_page_arr", tiles}, {"status", 1}}.dump();
}

struct TileRequest
{
    const Issue *issue = nullptr;
    std::string fileName; // "0037_2_2.jpg"
    int page = 0;
    int row = 0;
    int column = 0;
};

// Reads "<picture path>/900/<t>/<u>/<NNNN>_<r>_<c>.jpg" under the picture root; nothing
// when the path names no tile of any issue (wrong digits, page or position included).
std::optional<TileRequest> parseTilePath(const std::vector<Issue> &issues, const std::string &path)
{
    static const std::regex tileRest(R"(([^/])/([^/])/((\d{4,9})_(\d)_(\d)\.jpg))");
    for (const Issue &issue : issues) {
        const std::string prefix = PictureRoot + issue.picturePath + "/900/";
        if (path.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::smatch match;
        const std::string rest = path.substr(prefix.size());
        if (!std::regex_match(rest, match, tileRest))
            continue;
        TileRequest tile{&issue, match[3].str(), std::stoi(match[4].str()),
                         std::stoi(match[5].str()), std::stoi(match[6].str())};
        const std::string name = pageName(tile.page);
        if (name != match[4].str() || match[1].str() != name.substr(2, 1)
            || match[2].str() != name.substr(3, 1))
            continue;
        if (tile.page > issue.pageCount || tile.row < 1 || tile.row > TileRows(issue.tilesPerPage)
            || tile.column < 1 || tile.column > 3)
            continue;
        return tile;
    }
    return std::nullopt;
}

using JpegKey = std::tuple<int, int, std::uint8_t, std::uint8_t, std::uint8_t>;

} // namespace

int TileRows(int tilesPerPage)
{
    return std::clamp((tilesPerPage + 2) / 3, 1, 6);
}

Size TileSize(const Issue &issue, int row, int column)
{
    Size size{issue.tileWidth, issue.tileHeight};
    if (issue.unequalTiles) {
        if (column == 3)
            size.width = std::max(1, issue.tileWidth * 2 / 3);
        if (row == TileRows(issue.tilesPerPage))
            size.height = std::max(1, issue.tileHeight * 3 / 4);
    }
    return size;
}

struct FakeSite::Private
{
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;
    std::atomic<bool> stopping{false};

    mutable std::mutex scenarioMutex;
    std::shared_ptr<const Scenario> scenario;
    std::map<std::string, int> tileRequestCounts; // by path, under scenarioMutex

    mutable std::mutex logMutex;
    std::vector<LoggedRequest> log;
    std::function<void(const LoggedRequest &)> logger;

    std::mutex jpegMutex;
    std::map<JpegKey, std::shared_ptr<const std::string>> jpegs;

    std::shared_ptr<const Scenario> currentScenario() const
    {
        std::lock_guard lock(scenarioMutex);
        return scenario;
    }

    std::string ownHost() const { return "127.0.0.1:" + std::to_string(port); }

    std::shared_ptr<const std::string> jpeg(Size size, Rgb colour)
    {
        const JpegKey key{size.width, size.height, colour.r, colour.g, colour.b};
        {
            std::lock_guard lock(jpegMutex);
            if (auto found = jpegs.find(key); found != jpegs.end())
                return found->second;
        }
        auto made = std::make_shared<const std::string>(MakeSolidJpeg(size.width, size.height, colour));
        std::lock_guard lock(jpegMutex);
        return jpegs.emplace(key, std::move(made)).first->second;
    }

    // The fault that decides this request of a tile, counting the request; none when the
    // tile is to be served as it is.
    std::optional<Fault> faultFor(const Scenario &current, const std::string &path,
                                  const std::string &fileName, bool hasCookie)
    {
        int count;
        {
            std::lock_guard lock(scenarioMutex);
            count = ++tileRequestCounts[path];
        }
        for (const Fault &fault : current.faults) {
            if (fault.tile != "*" && fault.tile != fileName)
                continue;
            if (fault.times >= 0 && count > fault.times)
                continue;
            if (fault.kind == FaultKind::CookieRedirect && hasCookie)
                continue;
            return fault;
        }
        return std::nullopt;
    }

    void record(const httplib::Request &request, const httplib::Response &response)
    {
        LoggedRequest entry{request.method, request.path, {}, request.body, response.status};
        for (const auto &[name, value] : request.headers) {
            const std::string key = lowerCase(name);
            // Connection details the server files among the headers; no client sent them.
            if (key == "remote_addr" || key == "remote_port" || key == "local_addr"
                || key == "local_port")
                continue;
            auto [slot, added] = entry.headers.emplace(key, value);
            if (!added)
                slot->second += ", " + value;
        }
        std::lock_guard lock(logMutex);
        log.push_back(std::move(entry));
        if (logger)
            logger(log.back());
    }

    void serveReaderPage(const httplib::Request &request, httplib::Response &response)
    {
        const auto current = currentScenario();
        if (current->readerPageStatus != 200) {
            response.status = current->readerPageStatus;
            response.set_content("reader page unavailable\n", "text/plain; charset=utf-8");
            return;
        }
        const int itemId = std::stoi(request.matches[1].str());
        for (const Issue &issue : current->issues) {
            if (issue.itemId == itemId) {
                const std::string host = current->pictureHost.empty() ? ownHost() : current->pictureHost;
                response.set_content(readerPage(issue, host), "text/html; charset=utf-8");
                return;
            }
        }
        response.status = 404;
        response.set_content("no such issue\n", "text/plain; charset=utf-8");
    }

    void serveLayout(const httplib::Request &request, httplib::Response &response)
    {
        const auto current = currentScenario();
        if (!current->layoutAnswer.empty()) {
            response.set_content(current->layoutAnswer, "application/json; charset=utf-8");
            return;
        }
        const std::string item = formValue(request.body, "item_id");
        for (const Issue &issue : current->issues) {
            if (std::to_string(issue.itemId) == item) {
                response.set_content(layoutAnswer(issue), "application/json; charset=utf-8");
                return;
            }
        }
        response.set_content(R"({"status":0,"msg":"no such issue"})", "application/json; charset=utf-8");
    }

    void serveTile(const httplib::Request &request, httplib::Response &response)
    {
        const auto current = currentScenario();
        const auto tile = parseTilePath(current->issues, request.path);
        if (!tile) {
            response.status = 404;
            return;
        }
        if ((!current->requiredReferer.empty()
             && request.get_header_value("Referer") != current->requiredReferer)
            || (!current->requiredUserAgent.empty()
                && request.get_header_value("User-Agent") != current->requiredUserAgent)) {
            response.status = 403;
            return;
        }

        const bool hasCookie = hasGateCookie(request);
        const auto fault = faultFor(*current, request.path, tile->fileName, hasCookie);
        if (fault && fault->kind == FaultKind::CookieRedirect) {
            const std::string host = request.has_header("Host") ? request.get_header_value("Host") : ownHost();
            response.set_header("Set-Cookie", std::string(GateCookie) + "; Path=/");
            response.set_redirect("http://" + host + request.path, 302);
            return;
        }
        // Once a tile is behind the gate, only requests that bring the cookie get it.
        const bool gated = std::any_of(current->faults.begin(), current->faults.end(), [&](const Fault &f) {
            return f.kind == FaultKind::CookieRedirect && (f.tile == "*" || f.tile == tile->fileName);
        });
        if (gated && !hasCookie) {
            response.status = 403;
            return;
        }

        const Size size = TileSize(*tile->issue, tile->row, tile->column);
        const auto body = jpeg(size, TileColour(tile->page, tile->row, tile->column));
        if (!fault) {
            response.set_content(*body, "image/jpeg");
            return;
        }
        switch (fault->kind) {
        case FaultKind::Status404:
        case FaultKind::Status500:
            response.status = fault->kind == FaultKind::Status404 ? 404 : 500;
            response.set_content("tile unavailable\n", "text/plain");
            break;
        case FaultKind::EmptyBody:
            response.set_content(std::string(), "image/jpeg");
            break;
        case FaultKind::Truncated:
            response.set_content(body->substr(0, body->size() / 2), "image/jpeg");
            break;
        case FaultKind::Slow:
            serveSlowly(response, body, fault->delayMs);
            break;
        case FaultKind::CookieRedirect:
            break;
        }
    }

    // Sends `body` in ten pieces spread over `delayMs`; stops waiting when the site stops.
    void serveSlowly(httplib::Response &response, std::shared_ptr<const std::string> body, int delayMs)
    {
        constexpr std::size_t Pieces = 10;
        const std::size_t pieceSize = std::max<std::size_t>(1, (body->size() + Pieces - 1) / Pieces);
        const auto pause = std::chrono::milliseconds(std::max(0, delayMs) / static_cast<int>(Pieces));
        response.set_content_provider(
            body->size(), "image/jpeg",
            [this, body, pieceSize, pause](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                const auto until = std::chrono::steady_clock::now() + pause;
                while (!stopping && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const std::size_t count = std::min(pieceSize, length);
                return sink.write(body->data() + offset, count);
            });
    }
};

FakeSite::FakeSite(Scenario scenario)
    : d(std::make_unique<Private>())
{
    d->scenario = std::make_shared<const Scenario>(std::move(scenario));
}

FakeSite::~FakeSite()
{
    stop();
}

int FakeSite::start(int port)
{
    if (d->server)
        throw std::runtime_error("cannot start the fake site: it is already serving on " + host());

    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] { return new httplib::ThreadPool(ServerThreads); };
    // Idle kept-alive connections hold a server thread, and stop() waits for them.
    server->set_keep_alive_timeout(2);

    server->Get(R"(/magazine/reader_(\d{1,9})\.html)",
                [this](const httplib::Request &request, httplib::Response &response) {
                    d->serveReaderPage(request, response);
                });
    server->Post("/magazine/reader/ajaxOriginalPage/",
                 [this](const httplib::Request &request, httplib::Response &response) {
                     d->serveLayout(request, response);
                 });
    server->Get(std::string(PictureRoot) + "/.*",
                [this](const httplib::Request &request, httplib::Response &response) {
                    d->serveTile(request, response);
                });
    // Runs once the answer is final but before it is sent, so a client that has its
    // answer always finds the request in the log.
    server->set_post_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        d->record(request, response);
    });

    const int bound = port == 0 ? server->bind_to_any_port("127.0.0.1")
                                : (server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));

    d->stopping = false;
    d->port = bound;
    d->server = std::move(server);
    d->thread = std::thread([server = d->server.get()] { server->listen_after_bind(); });

    // stop() only takes effect on a server that is running, so wait for that (bounded).
    for (int i = 0; i < 5000 && !d->server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!d->server->is_running()) {
        stop();
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(bound));
    }
    return bound;
}

void FakeSite::stop()
{
    if (!d->server)
        return;
    d->stopping = true;
    d->server->stop();
    if (d->thread.joinable())
        d->thread.join();
    d->server.reset();
    d->port = 0;
}

int FakeSite::port() const
{
    return d->port;
}

std::string FakeSite::host() const
{
    return d->ownHost();
}

std::string FakeSite::readerUrl(int itemId) const
{
    return "http://" + host() + "/magazine/reader_" + std::to_string(itemId) + ".html";
}

void FakeSite::setScenario(Scenario scenario)
{
    auto replacement = std::make_shared<const Scenario>(std::move(scenario));
    std::lock_guard lock(d->scenarioMutex);
    d->scenario = std::move(replacement);
    d->tileRequestCounts.clear();
}

std::vector<LoggedRequest> FakeSite::requests() const
{
    std::lock_guard lock(d->logMutex);
    return d->log;
}

int FakeSite::countRequests(const std::string &suffix) const
{
    std::lock_guard lock(d->logMutex);
    return static_cast<int>(std::count_if(d->log.begin(), d->log.end(), [&](const LoggedRequest &entry) {
        return entry.path.size() >= suffix.size()
            && entry.path.compare(entry.path.size() - suffix.size(), suffix.size(), suffix) == 0;
    }));
}

void FakeSite::clearLog()
{
    std::lock_guard lock(d->logMutex);
    d->log.clear();
}

void FakeSite::setRequestLogger(std::function<void(const LoggedRequest &)> logger)
{
    std::lock_guard lock(d->logMutex);
    d->logger = std::move(logger);
}

} // namespace velmora::site
