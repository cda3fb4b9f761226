// velmora-site: serves the fake reading site on 127.0.0.1 until SIGINT or SIGTERM.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <pthread.h>

#include "site/fakesite.h"

namespace {

using velmora::site::Fault;
using velmora::site::FaultKind;
using velmora::site::Issue;
using velmora::site::Scenario;

const char *const Usage = R"(Usage: velmora-site --port PORT [options]

Serves the fake reading site on 127.0.0.1: reader pages, the page-layout endpoint
and the page tiles. Once listening it prints one line "PORT <n>" to stdout.
SIGINT or SIGTERM stops it.

Options:
  --port PORT            port to listen on; 0 picks a free one (required)
  --item ID              item id of the main issue (default 547882)
  --pages N              page count of the main issue (default 96)
  --tiles 12|15|18       tiles per page of the main issue (default 12)
  --title TEXT           title of the main issue, UTF-8 (default 样刊周报2011(05):春季-夏季)
  --tile-size WxH        size of every tile of both issues (default 60x80)
  --unequal              column 3 is 2/3 as wide and the last row 3/4 as high
  --fail TILE:KIND:TIMES[:MS]
                         fault for tile TILE (a file name such as 0037_2_2.jpg,
                         or * for every tile) on its first TIMES requests (-1: always).
                         KIND is one of 404, 500, empty, truncated, slow, cookie;
                         MS is the time a slow tile takes (default 2000). Repeatable.
  --picture-host HOST    host[:port] written into reader pages for the tiles
                         (default: this server, 127.0.0.1:PORT)
  --log                  print every request to stderr
  --help                 show this text

Besides the main issue, item 547901 (48 pages, 15 tiles per page) is served too.
)";

struct Options
{
    int port = -1;
    Scenario scenario;
    bool log = false;
};

int toInt(const std::string &text, const std::string &what)
{
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || used != text.size())
        throw std::runtime_error("invalid " + what + ": '" + text + "'");
    return value;
}

FaultKind faultKind(const std::string &name)
{
    static const std::map<std::string, FaultKind> kinds{
        {"404", FaultKind::Status404},      {"500", FaultKind::Status500},
        {"empty", FaultKind::EmptyBody},    {"truncated", FaultKind::Truncated},
        {"slow", FaultKind::Slow},          {"cookie", FaultKind::CookieRedirect},
    };
    const auto found = kinds.find(name);
    if (found == kinds.end())
        throw std::runtime_error("unknown fault kind '" + name + "'");
    return found->second;
}

// "TILE:KIND:TIMES[:MS]"
Fault parseFault(const std::string &text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    if (parts.size() < 3 || parts.size() > 4 || parts[0].empty())
        throw std::runtime_error("invalid fault '" + text + "': expected TILE:KIND:TIMES[:MS]");
    Fault fault;
    fault.tile = parts[0];
    fault.kind = faultKind(parts[1]);
    fault.times = toInt(parts[2], "fault count");
    fault.delayMs = parts.size() == 4 ? toInt(parts[3], "fault delay") : 2000;
    return fault;
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    Issue &main = options.scenario.issues.front();
    Issue second;
    second.itemId = 547901;
    second.magazineId = "4712";
    second.title = "样刊月刊2011(06):初夏";
    second.pageCount = 48;
    second.tilesPerPage = 15;
    second.picturePath = "/2011/0601/m3q";

    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw std::runtime_error("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << Usage;
            std::exit(0);
        } else if (arg == "--port") {
            options.port = toInt(value(), "port");
        } else if (arg == "--item") {
            main.itemId = toInt(value(), "item id");
        } else if (arg == "--pages") {
            main.pageCount = toInt(value(), "page count");
        } else if (arg == "--tiles") {
            main.tilesPerPage = toInt(value(), "tile count");
            if (main.tilesPerPage != 12 && main.tilesPerPage != 15 && main.tilesPerPage != 18)
                throw std::runtime_error("invalid tile count: must be 12, 15 or 18");
        } else if (arg == "--title") {
            main.title = value();
        } else if (arg == "--tile-size") {
            const std::string &size = value();
            const std::size_t x = size.find('x');
            if (x == std::string::npos)
                throw std::runtime_error("invalid tile size '" + size + "': expected WxH");
            main.tileWidth = second.tileWidth = toInt(size.substr(0, x), "tile width");
            main.tileHeight = second.tileHeight = toInt(size.substr(x + 1), "tile height");
            if (main.tileWidth < 1 || main.tileHeight < 1)
                throw std::runtime_error("invalid tile size '" + size + "'");
        } else if (arg == "--unequal") {
            main.unequalTiles = second.unequalTiles = true;
        } else if (arg == "--fail") {
            options.scenario.faults.push_back(parseFault(value()));
        } else if (arg == "--picture-host") {
            options.scenario.pictureHost = value();
        } else if (arg == "--log") {
            options.log = true;
        } else {
            throw std::runtime_error("unknown option '" + arg + "' (see --help)");
        }
    }
    if (options.port < 0 || options.port > 65535)
        throw std::runtime_error("--port PORT is required (0 picks a free port)");
    if (second.itemId == main.itemId)
        second.itemId = main.itemId + 1;
    options.scenario.issues.push_back(second);
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::exception &error) {
        std::cerr << "velmora-site: " << error.what() << "\n";
        return 2;
    }

    // The server's threads inherit this mask, so the signals reach only sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    velmora::site::FakeSite site(options.scenario);
    if (options.log) {
        site.setRequestLogger([](const velmora::site::LoggedRequest &request) {
            std::cerr << request.method << " " << request.path << " -> " << request.status << "\n";
        });
    }
    try {
        site.start(options.port);
    } catch (const std::exception &error) {
        std::cerr << "velmora-site: " << error.what() << "\n";
        return 1;
    }
    std::cout << "PORT " << site.port() << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    site.stop();
    return 0;
}
