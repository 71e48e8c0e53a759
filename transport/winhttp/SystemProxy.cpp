#include "SystemProxy.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include <velcom/com.h>
#include <winhttp.h>

#include "text/AnsiText.h"

namespace {

std::vector<std::string> entries(const std::string& list) {
    std::vector<std::string> result;
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find_first_of("; \t", at), list.size());
        if (end > at) result.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char character) {
        return static_cast<char>(std::tolower(character));
    });
    return text;
}

// A pattern whose "*" stands for any run of characters, compared without regard to case.
bool matches(const std::string& pattern, const std::string& host) {
    const std::size_t star = pattern.find('*');
    if (star == std::string::npos) return pattern == host;
    const std::string head = pattern.substr(0, star);
    const std::string rest = pattern.substr(star + 1);
    if (!host.starts_with(head)) return false;
    for (std::size_t at = head.size(); at <= host.size(); ++at)
        if (matches(rest, host.substr(at))) return true;
    return false;
}

std::string text(const wchar_t* wide) {
    return wide == nullptr ? std::string() : toAnsi(wide, static_cast<UINT>(wcslen(wide)));
}

}  // namespace

SystemProxy SystemProxy::current() {
    WINHTTP_PROXY_INFO info{};
    if (!WinHttpGetDefaultProxyConfiguration(&info)) return SystemProxy({}, {});
    SystemProxy proxy(
        info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? text(info.lpszProxy) : std::string(),
        text(info.lpszProxyBypass));
    GlobalFree(info.lpszProxy);
    GlobalFree(info.lpszProxyBypass);
    return proxy;
}

SystemProxy::SystemProxy(const std::string& proxy, const std::string& bypass)
    : m_proxy(proxy), m_bypass(entries(lower(bypass))) {}

std::optional<ProxyInUse> SystemProxy::forServer(const std::string& scheme,
                                                 const std::string& host) const {
    const std::string server = lower(host);
    for (const std::string& entry : m_bypass)
        if ((entry == "<local>" && server.find('.') == std::string::npos) || matches(entry, server))
            return std::nullopt;
    // One proxy for every scheme, or one per scheme.
    std::string chosen;
    for (const std::string& entry : entries(m_proxy)) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos)
            chosen = entry;
        else if (lower(entry.substr(0, equals)) == scheme)
            chosen = entry.substr(equals + 1);
        if (!chosen.empty()) break;
    }
    if (const std::size_t separator = chosen.find("://"); separator != std::string::npos)
        chosen.erase(0, separator + 3);
    chosen = chosen.substr(0, chosen.find('/'));
    if (chosen.empty()) return std::nullopt;
    // WinHTTP's port for a proxy named without one.
    ProxyInUse result{chosen, 80};
    if (const std::size_t colon = chosen.rfind(':');
        colon != std::string::npos && chosen.find(']', colon) == std::string::npos) {
        result.strHost = chosen.substr(0, colon);
        result.lPort = std::atol(chosen.c_str() + colon + 1);
    }
    return result;
}
