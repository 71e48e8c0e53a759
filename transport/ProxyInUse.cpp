#include "ProxyInUse.h"

#include <arpa/inet.h>
#include <strings.h>

#include <array>
#include <cstdlib>
#include <string_view>

#include "CurlHandles.h"

namespace {

// libcurl's reading: an empty variable counts as none.
const char* variable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string upper(std::string text) {
    for (char& character : text)
        if (character >= 'a' && character <= 'z') character = static_cast<char>(character - 32);
    return text;
}

// "<scheme>_proxy", its upper-case form except for http (a CGI program's HTTP_PROXY comes from a
// request header), then all_proxy and ALL_PROXY.
const char* proxyVariable(const std::string& scheme) {
    const std::string own = scheme + "_proxy";
    if (const char* value = variable(own)) return value;
    if (scheme != "http")
        if (const char* value = variable(upper(own))) return value;
    if (const char* value = variable("all_proxy")) return value;
    return variable("ALL_PROXY");
}

// An address and the leading bits of an entry such as "10.0.0.0/8" or "::1".
bool inRange(const std::string& host, std::string_view entry) {
    const std::size_t slash = entry.find('/');
    const std::string network(entry.substr(0, slash));
    const int family = host.find(':') != std::string::npos ? AF_INET6 : AF_INET;
    std::array<unsigned char, 16> hostBytes{}, networkBytes{};
    if (inet_pton(family, host.c_str(), hostBytes.data()) != 1 ||
        inet_pton(family, network.c_str(), networkBytes.data()) != 1)
        return false;
    const int all = family == AF_INET6 ? 128 : 32;
    int bits = slash == std::string_view::npos
                   ? all
                   : std::atoi(std::string(entry.substr(slash + 1)).c_str());
    if (bits <= 0 || bits > all) bits = all;
    for (int bit = 0; bit < bits; ++bit) {
        const unsigned char mask = static_cast<unsigned char>(0x80 >> (bit % 8));
        if ((hostBytes[bit / 8] & mask) != (networkBytes[bit / 8] & mask)) return false;
    }
    return true;
}

// no_proxy as libcurl reads it: "*", or entries apart by commas or blanks, each a host name that
// matches itself and its subdomains (leading and trailing dots ignored), or an address range.
bool exempt(std::string host, std::string_view list) {
    if (list == "*") return true;
    const bool address =
        host.starts_with('[') || host.find_first_not_of("0123456789.") == std::string::npos;
    if (host.starts_with('[')) host = host.substr(1, host.find(']') - 1);
    if (!address && host.ends_with('.')) host.pop_back();
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find_first_of(", \t", at), list.size());
        std::string_view entry = list.substr(at, end - at);
        at = end + 1;
        if (entry.empty()) continue;
        if (address) {
            if (inRange(host, entry)) return true;
            continue;
        }
        if (entry.ends_with('.')) entry.remove_suffix(1);
        if (entry.starts_with('.')) entry.remove_prefix(1);
        if (entry.empty() || entry.size() > host.size()) continue;
        const std::size_t tail = host.size() - entry.size();
        if ((tail == 0 || host[tail - 1] == '.') &&
            strncasecmp(host.c_str() + tail, entry.data(), entry.size()) == 0)
            return true;
    }
    return false;
}

}  // namespace

std::optional<ProxyInUse> proxyFor(const std::string& scheme, const std::string& host) {
    const char* proxy = proxyVariable(scheme);
    if (proxy == nullptr) return std::nullopt;
    const char* noProxy = variable("no_proxy");
    if (noProxy == nullptr) noProxy = variable("NO_PROXY");
    if (noProxy != nullptr && exempt(host, noProxy)) return std::nullopt;
    // Without a scheme the proxy speaks HTTP; without a port, libcurl takes 1080 for it. The
    // variable's user name and password stay out of the result.
    const CurlUrl url(curl_url());
    char* proxyHost = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, proxy, CURLU_DEFAULT_SCHEME) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &proxyHost, 0) != CURLUE_OK)
        return std::nullopt;
    ProxyInUse result{CurlText(proxyHost).get(), 1080};
    char* port = nullptr;
    if (curl_url_get(url.get(), CURLUPART_PORT, &port, 0) == CURLUE_OK)
        result.lPort = std::atol(CurlText(port).get());
    return result;
}
