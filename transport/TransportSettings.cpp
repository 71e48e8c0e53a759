#include "TransportSettings.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

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

std::optional<std::int64_t> bytesOf(std::string_view text) {
    std::int64_t unit = 1;
    for (const auto& [suffix, size] : std::array<std::pair<std::string_view, std::int64_t>, 3>{
             {{"KiB", 1 << 10}, {"MiB", 1 << 20}, {"GiB", 1 << 30}}})
        if (text.ends_with(suffix)) text.remove_suffix(suffix.size()), unit = size;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0 ||
        value > INT64_MAX / unit)
        return {};
    return value * unit;
}

template <class Value, class Reader>
void read(const char* variable, Value& setting, TransportSettings& settings, Reader reader) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') return;
    if (const auto value = reader(text))
        setting = *value;
    else
        settings.vecIgnored.push_back(std::string(variable) + "=" + text);
}

}  // namespace

TransportSettings readTransportSettings() {
    TransportSettings settings;
    if (const char* bundle = std::getenv(kCaBundleVariable)) settings.strCaBundle = bundle;
    read(kConnectTimeoutVariable, settings.lConnectTimeoutMs, settings, millisecondsOf);
    read(kTimeoutVariable, settings.lTimeoutMs, settings, millisecondsOf);
    read(kMaxAnswerVariable, settings.llMaxAnswer, settings, bytesOf);
    return settings;
}
