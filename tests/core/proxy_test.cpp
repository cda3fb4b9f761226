#include "core/proxy.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "support/scopedenv.h"

using namespace velmora;

TEST(ParseProxyList, WorkedExamples)
{
    struct Row
    {
        const char *list;
        const char *scheme;
        const char *host;
        int port;
    };
    const Row rows[] = {
        {"", "http", "", 0},
        {"relay:3128", "http", "relay", 3128},
        {"http=gate:8080;https=gate:8443", "http", "gate", 8080},
        {"ftp=files:21;http=gate:80", "http", "gate", 80},
        {"http=gate:80;ftp=files:21", "http", "gate", 80},
        {"https=vault:443", "http", "https=vault", 443},
        {"relay", "http", "", 0},
        {"relay:80x", "http", "relay", 0},
        {"http=gate", "http", "", 0},
        // The key is case-sensitive: the whole list splits at its first ":".
        {"HTTP=gate:80", "http", "HTTP=gate", 80},
        // An address instead of host:port splits at the scheme's colon.
        {"http=http://gate:80", "http", "http", 0},
        {"http=gate:8080;https=gate:8443", "https", "gate", 8443},
        {"relay:99999999999", "http", "relay", 0},
        {"relay:", "http", "relay", 0},
        {":3128", "http", "", 3128},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("list \"") + row.list + "\", scheme " + row.scheme);
        std::string host = "stale";
        int port = -7;
        ParseProxyList(row.list, row.scheme, host, port);
        EXPECT_EQ(host, row.host);
        EXPECT_EQ(port, row.port);
    }
}

TEST(ReduceProxyUrl, KeepsHostAndPortOnly)
{
    struct Row
    {
        const char *url;
        const char *reduced;
    };
    const Row rows[] = {
        {"http://user:pw@relay:3128/", "relay:3128"},
        {"http://relay:8080", "relay:8080"},
        {"http://relay:8080/some/path", "relay:8080"},
        {"http://relay:8080?x=1", "relay:8080"},
        {"relay:3128", "relay:3128"},
        {"relay:3128/", "relay:3128"},
        {"http://relay", "relay"},
        {"http://user@relay:1/", "relay:1"},
        {"http://us@er:p@ss@relay:1/", "relay:1"},
        {" http://relay:3128/\n", "relay:3128"},
        {"direct://", ""},
        {"", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("url \"") + row.url + "\"");
        EXPECT_EQ(ReduceProxyUrl(row.url), row.reduced);
    }
}

// libproxy is told to read the environment only, so that a desktop proxy setting of the
// machine running the tests does not leak in. The bypass list must not matter: each row
// runs once without no_proxy and once with no_proxy=*.
TEST(GetIEProxyString, FromTheEnvironment)
{
    struct Row
    {
        const char *name;
        std::optional<std::string> lower;
        std::optional<std::string> upper;
        const char *expected;
    };
    const Row rows[] = {
        {"http_proxy with credentials", "http://user:pw@relay.test:3128/", std::nullopt, "relay.test:3128"},
        {"http_proxy bare", "relay.test:3128", std::nullopt, "relay.test:3128"},
        {"http_proxy before HTTP_PROXY", "http://lower.test:1/", "http://upper.test:2/", "lower.test:1"},
        {"HTTP_PROXY alone", std::nullopt, "http://upper.test:8080", "upper.test:8080"},
        {"empty http_proxy", "", std::nullopt, ""},
        {"none", std::nullopt, std::nullopt, ""},
    };
    const ScopedEnv configOrder("PX_CONFIG_ORDER", "envvar");
    for (const std::optional<std::string> &noProxy : {std::optional<std::string>(), std::optional<std::string>("*")}) {
        const ScopedEnv lowerNoProxy("no_proxy", noProxy);
        const ScopedEnv upperNoProxy("NO_PROXY", noProxy);
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(row.name) + (noProxy ? ", no_proxy=*" : ", no no_proxy"));
            const ScopedEnv lower("http_proxy", row.lower);
            const ScopedEnv upper("HTTP_PROXY", row.upper);
            EXPECT_EQ(GetIEProxyString(), row.expected);
        }
    }
}

TEST(GetIEProxy, HostAndPortOfTheEnvironmentProxy)
{
    const ScopedEnv configOrder("PX_CONFIG_ORDER", "envvar");
    {
        const ScopedEnv lower("http_proxy", "http://relay.test:3128/");
        const ScopedEnv upper("HTTP_PROXY", std::nullopt);
        std::string host;
        int port = 0;
        GetIEProxy("http", host, port);
        EXPECT_EQ(host, "relay.test");
        EXPECT_EQ(port, 3128);
    }
    {
        const ScopedEnv lower("http_proxy", std::nullopt);
        const ScopedEnv upper("HTTP_PROXY", std::nullopt);
        std::string host = "stale";
        int port = 1;
        GetIEProxy("http", host, port);
        EXPECT_EQ(host, "");
        EXPECT_EQ(port, 0);
    }
}
