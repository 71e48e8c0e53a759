// What the environment says about every request: the private authority to trust and the time
// limits. Read afresh for each request, so that a host may change them between requests.
#pragma once

#include <string>
#include <vector>

inline constexpr char kCaBundleVariable[] = "VELTRANSPORT_CA_BUNDLE";
inline constexpr char kConnectTimeoutVariable[] = "VELTRANSPORT_CONNECT_TIMEOUT";
inline constexpr char kTimeoutVariable[] = "VELTRANSPORT_TIMEOUT";

inline constexpr long kDefaultConnectTimeoutMs = 30'000;
inline constexpr long kDefaultTimeoutMs = 120'000;

struct TransportSettings {
    // Empty: the system's store of trusted authorities.
    std::string strCaBundle;
    long lConnectTimeoutMs = kDefaultConnectTimeoutMs;
    long lTimeoutMs = kDefaultTimeoutMs;
    // Variables whose values were not usable and were replaced by the default.
    std::vector<std::string> vecIgnored;
};

// Time limits are seconds, fractions allowed ("0.5"), or milliseconds with the suffix "ms".
TransportSettings readTransportSettings();
