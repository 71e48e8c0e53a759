#include "Utf16.h"

#include <climits>
#include <string>

#include <velcom/posix/oleauto.h>

namespace velcom::registry {

std::optional<std::vector<BYTE>> utf8ToUtf16le(std::span<const BYTE> utf8) {
    if (utf8.empty()) return std::vector<BYTE>();
    if (utf8.size() > INT_MAX) return std::nullopt;
    const auto* source = reinterpret_cast<LPCSTR>(utf8.data());
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, source, size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::u16string units(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, source, size, units.data(), length);
    std::vector<BYTE> bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}

std::optional<std::vector<BYTE>> utf16leToUtf8(std::span<const BYTE> utf16) {
    if (utf16.size() % 2 != 0 || utf16.size() / 2 > INT_MAX) return std::nullopt;
    if (utf16.empty()) return std::vector<BYTE>();
    std::u16string units(utf16.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
    const int count = static_cast<int>(units.size());
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), count,
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::vector<BYTE> bytes(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units.data(), count,
                        reinterpret_cast<LPSTR>(bytes.data()), size, nullptr, nullptr);
    return bytes;
}

}  // namespace velcom::registry
