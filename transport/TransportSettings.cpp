#include "TransportSettings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

std::optional<long> millisecondsOf(std::string_view text) {
    const bool inMilliseconds = text.ends_with("ms");
    if (inMilliseconds) text.remove_suffix(2);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value > 0)) return {};
    const double milliseconds = std::ceil(inMilliseconds ? value : value * 1000);
    // Beyond a day is surely a mistake; curl takes a long.
    if (milliseconds > 86'400'000) return {};
    return static_cast<long>(milliseconds);
}

void readTimeout(const char* variable, long& milliseconds, TransportSettings& settings) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') return;
    if (const std::optional<long> value = millisecondsOf(text))
        milliseconds = *value;
    else
        settings.vecIgnored.push_back(std::string(variable) + "=" + text);
}

}  // namespace

TransportSettings readTransportSettings() {
    TransportSettings settings;
    if (const char* bundle = std::getenv(kCaBundleVariable)) settings.strCaBundle = bundle;
    readTimeout(kConnectTimeoutVariable, settings.lConnectTimeoutMs, settings);
    readTimeout(kTimeoutVariable, settings.lTimeoutMs, settings);
    return settings;
}
