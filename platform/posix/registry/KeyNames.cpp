#include "KeyNames.h"

#include <algorithm>

namespace velcom::registry {

namespace {

constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// Lengths count characters, as Windows does, not the bytes of their UTF-8 encoding.
std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(std::ranges::count_if(
        text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool isValidKeyPath(std::string_view path) {
    for (;;) {
        const std::size_t separator = path.find('\\');
        const std::string_view name = path.substr(0, separator);
        if (name.empty() || characterCount(name) > kMaxKeyNameLength || hasLineBreak(name))
            return false;
        if (separator == std::string_view::npos) return true;
        path.remove_prefix(separator + 1);
    }
}

bool isValidValueName(std::string_view name) {
    return characterCount(name) <= kMaxValueNameLength && !hasLineBreak(name);
}

std::optional<std::string> resolveSubkey(std::string_view base, const char* subKey) {
    std::string_view relative = subKey == nullptr ? std::string_view() : subKey;
    if (relative.empty()) return std::string(base);
    if (relative.ends_with('\\')) relative.remove_suffix(1);
    if (!isValidKeyPath(relative)) return std::nullopt;
    return base.empty() ? std::string(relative) : std::string(base) + '\\' + std::string(relative);
}

}  // namespace velcom::registry
