#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace velmora {

// libcurl's global state: one instance at program start, before any thread uses curl.
class CurlGlobal
{
public:
    CurlGlobal();
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal &) = delete;
    CurlGlobal &operator=(const CurlGlobal &) = delete;
};

// Limits that keep a request from hanging or flooding memory.
struct TransferLimits
{
    std::chrono::seconds connectTimeout{30};
    // Abort when fewer than 1 byte/s arrives for this long.
    std::chrono::seconds stallTime{60};
    std::size_t maxBodyBytes = 64u << 20;
    long maxRedirects = 15;
};

// Fetches `url` (http or https only, redirects included) into `path`, written whole or
// not at all. The environment's proxy settings apply, as for a browser download.
// Throws Error naming the address and the reason (connection failure, HTTP status >= 400).
void FetchToFile(const std::string &url, const std::string &path,
                 const TransferLimits &limits = {});

// Sends a synchronous form POST and returns the answer body; the status is not looked at
// unless the transfer itself fails. Throws Error naming the address and the reason.
std::string PostForm(const std::string &url, const std::string &body,
                     const TransferLimits &limits = {});

// One tile fetch as the tile worker makes it.
struct TileRequest
{
    std::string url;
    std::string referer;
    std::string file;
    // Proxy to use; empty host or not ticked means explicitly no proxy.
    bool useProxy = false;
    std::string proxyHost;
    int proxyPort = 0;
    // Pause after every request, taken while the caller still holds its permit.
    std::chrono::milliseconds pause{1000};
    TransferLimits limits;
};

// Fetches one tile into its file unless the file is already there and not empty:
// one GET while the file is missing, then one more when it came out empty.
// HTTP/1.1, in-memory cookies shared by both fetches and their redirects, the fixed
// Accept/Referer/User-Agent/Connection headers. Any final status outside 2xx throws
// Error naming the tile and the status; the file is written whole or not at all.
// Returns the number of requests made (0, 1 or 2).
int DownloadTile(const TileRequest &request);

} // namespace velmora
