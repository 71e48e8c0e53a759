// The proxy libcurl takes from the environment for a request, found the way libcurl finds it, so
// that a failure to reach it names the proxy and not the server. libcurl of this system does not
// tell which proxy it used.
#pragma once

#include <optional>
#include <string>

struct ProxyInUse {
    std::string strHost;
    long lPort = 0;
};

// scheme: "http" or "https"; host: as libcurl's URL parser gives it ("[::1]" for IPv6). None when
// no proxy variable names one for the scheme, or no_proxy exempts the host.
std::optional<ProxyInUse> proxyFor(const std::string& scheme, const std::string& host);
