#pragma once

#include <string>

namespace velmora {

// The system proxy list for an http address: from the desktop's proxy settings through
// libproxy when it is available, else from http_proxy / HTTP_PROXY; reduced to
// "host:port" (scheme, credentials and trailing "/" removed). Empty for a direct
// connection. Never throws, never blocks for long.
std::string GetIEProxyString();

// "http://user:pw@host:port/" -> "host:port"; "direct://" and empty -> "".
std::string ReduceProxyUrl(const std::string &url);

// Host and port for `scheme` from a proxy list ("host:port" or "a=h:p;b=h:p").
// host empty and port 0 mean no proxy. Never throws.
void ParseProxyList(const std::string &list, const std::string &scheme,
                    std::string &host, int &port);

// ParseProxyList over GetIEProxyString().
void GetIEProxy(const std::string &scheme, std::string &host, int &port);

} // namespace velmora
