#include "core/proxy.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <future>
#include <memory>
#include <string_view>
#include <thread>

#ifdef VELMORA_HAVE_LIBPROXY
#include <proxy.h>
#endif

#include "core/naming.h"
#include "core/text.h"

namespace velmora {

namespace {

std::string environmentProxy()
{
    for (const char *name : {"http_proxy", "HTTP_PROXY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return ReduceProxyUrl(value);
    }
    return {};
}

#ifdef VELMORA_HAVE_LIBPROXY

struct FactoryDeleter
{
    void operator()(pxProxyFactory *factory) const { px_proxy_factory_free(factory); }
};
using ProxyFactory = std::unique_ptr<pxProxyFactory, FactoryDeleter>;

struct ProxyListDeleter
{
    void operator()(char **proxies) const { px_proxy_factory_free_proxies(proxies); }
};
using ProxyList = std::unique_ptr<char *, ProxyListDeleter>;

// How long the desktop's proxy settings may take to answer. libproxy may run a PAC
// script or ask WPAD on the network, which can take far longer than a button press may.
constexpr std::chrono::milliseconds libproxyBudget{2000};

// The first proxy libproxy proposes for an http address, as "host:port"; empty for a
// direct connection or a proxy kind the tile requests cannot speak (socks, https).
std::string askLibproxy()
{
    ProxyFactory factory(px_proxy_factory_new());
    if (!factory)
        return {};
    ProxyList proxies(px_proxy_factory_get_proxies(factory.get(), "http://www.velmora.example/"));
    if (!proxies || !proxies.get()[0])
        return {};
    const std::string_view first = proxies.get()[0];
    if (!first.starts_with("http://"))
        return {};
    return ReduceProxyUrl(std::string(first));
}

// askLibproxy() on a helper thread, given up on after libproxyBudget. An overrunning
// lookup is left to finish on its own; its answer is then dropped.
std::string libproxyWithinBudget()
{
    auto promise = std::make_shared<std::promise<std::string>>();
    std::future<std::string> answer = promise->get_future();
    std::thread([promise] {
        try {
            promise->set_value(askLibproxy());
        } catch (...) {
            promise->set_exception(std::current_exception());
        }
    }).detach();
    if (answer.wait_for(libproxyBudget) != std::future_status::ready)
        return {};
    return answer.get();
}

#endif

} // namespace

std::string GetIEProxyString()
{
    try {
#ifdef VELMORA_HAVE_LIBPROXY
        // A direct answer falls through to the variables as well: libproxy reads
        // http_proxy itself but lets no_proxy turn it into "direct", and the bypass list
        // plays no part in choosing the proxy here.
        std::string fromDesktop = libproxyWithinBudget();
        if (!fromDesktop.empty())
            return fromDesktop;
#endif
        return environmentProxy();
    } catch (...) {
        return {};
    }
}

std::string ReduceProxyUrl(const std::string &url)
{
    const std::string trimmed = Trim(url);
    std::string_view text = trimmed;

    if (const auto scheme = text.find("://"); scheme != std::string_view::npos)
        text.remove_prefix(scheme + 3);
    if (const auto path = text.find_first_of("/?#"); path != std::string_view::npos)
        text = text.substr(0, path);
    if (const auto credentials = text.rfind('@'); credentials != std::string_view::npos)
        text.remove_prefix(credentials + 1);
    return std::string(text);
}

void ParseProxyList(const std::string &list, const std::string &scheme, std::string &host, int &port)
{
    host.clear();
    port = 0;
    try {
        if (list.empty())
            return;

        // "http=gate:8080;https=gate:8443" gives the entry of the scheme; a list without
        // one (a single "host:port" among them) is taken whole.
        const std::string key = scheme + "=";
        std::string value;
        if (const auto at = list.find(key); at != std::string::npos) {
            const auto start = at + key.size();
            const auto end = list.find(';', start);
            value = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        } else {
            value = list;
        }

        const auto colon = value.find(':');
        if (colon == std::string::npos)
            return;
        try {
            port = StrToInt(value.substr(colon + 1));
        } catch (const std::exception &) {
            port = 0;
        }
        host = value.substr(0, colon);
    } catch (...) {
        host.clear();
        port = 0;
    }
}

void GetIEProxy(const std::string &scheme, std::string &host, int &port)
{
    ParseProxyList(GetIEProxyString(), scheme, host, port);
}

} // namespace velmora
