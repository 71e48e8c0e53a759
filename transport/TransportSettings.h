// What the environment says about every request: the private authority to trust, the time
// limits and the largest answer taken. Read afresh for each request, so that a host may change them
// between requests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kCaBundleVariable[] = "VELTRANSPORT_CA_BUNDLE";
inline constexpr char kConnectTimeoutVariable[] = "VELTRANSPORT_CONNECT_TIMEOUT";
inline constexpr char kTimeoutVariable[] = "VELTRANSPORT_TIMEOUT";
inline constexpr char kMaxAnswerVariable[] = "VELTRANSPORT_MAX_ANSWER";

inline constexpr long kDefaultConnectTimeoutMs = 30'000;
inline constexpr long kDefaultTimeoutMs = 120'000;
inline constexpr std::int64_t kDefaultMaxAnswer = std::int64_t{256} << 20;

struct TransportSettings {
    // Empty: the system's store of trusted authorities.
    std::string strCaBundle;
    long lConnectTimeoutMs = kDefaultConnectTimeoutMs;
    long lTimeoutMs = kDefaultTimeoutMs;
    // Bytes of the page as the receiver gets it.
    std::int64_t llMaxAnswer = kDefaultMaxAnswer;
    // Variables whose values were not usable and were replaced by the default.
    std::vector<std::string> vecIgnored;
};

// Time limits are seconds, fractions allowed ("0.5"), or milliseconds with the suffix "ms"; the
// largest answer is bytes, or KiB, MiB or GiB with that suffix ("64MiB").
TransportSettings readTransportSettings();
