// The proxy WinHTTP's session takes from the system's configuration (netsh winhttp; Wine fills it
// from http_proxy), found as WinHTTP finds it, so that a failure to reach the proxy names the
// proxy and not the server. WinHTTP does not tell which proxy a request used.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ProxyInUse.h"

class SystemProxy {
public:
    // The configuration as the session reads it when it opens.
    static SystemProxy current();
    // proxy: "host:port", "scheme=host:port;..." or with "http://" before the host; bypass:
    // entries apart by ";" or blanks, "<local>" for names without a dot, "*" as a wildcard.
    SystemProxy(const std::string& proxy, const std::string& bypass);

    // None when no proxy is set for the scheme ("http" or "https") or the host bypasses it.
    std::optional<ProxyInUse> forServer(const std::string& scheme, const std::string& host) const;

private:
    std::string m_proxy;
    std::vector<std::string> m_bypass;
};
