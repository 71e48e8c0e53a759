#include "GuidText.h"

#include <array>
#include <cstdint>

namespace velcom::detail {
namespace {

// Where each byte's two digits start in the text, in the order the GUID fields store them
// (Data1, Data2 and Data3 read as numbers, Data4 byte by byte).
constexpr std::array<std::size_t, 16> kDigitOffsets{1,  3,  5,  7,  10, 12, 15, 17,
                                                    20, 22, 25, 27, 29, 31, 33, 35};
constexpr std::array<std::size_t, 4> kDashOffsets{9, 14, 19, 24};

int hexValue(char16_t digit) {
    if (digit >= u'0' && digit <= u'9') return digit - u'0';
    if (digit >= u'a' && digit <= u'f') return digit - u'a' + 10;
    if (digit >= u'A' && digit <= u'F') return digit - u'A' + 10;
    return -1;
}

}  // namespace

std::optional<GUID> parseGuid(std::u16string_view text) {
    if (text.size() != kGuidTextLength || text.front() != u'{' || text.back() != u'}')
        return std::nullopt;
    for (std::size_t dash : kDashOffsets)
        if (text[dash] != u'-') return std::nullopt;

    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexValue(text[kDigitOffsets[i]]);
        const int low = hexValue(text[kDigitOffsets[i] + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    GUID guid{};
    guid.Data1 = static_cast<std::uint32_t>(bytes[0]) << 24 |
                 static_cast<std::uint32_t>(bytes[1]) << 16 |
                 static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (std::size_t i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
    return guid;
}

std::string formatGuid(REFGUID guid) {
    const std::array<std::uint8_t, 16> bytes{static_cast<std::uint8_t>(guid.Data1 >> 24),
                                             static_cast<std::uint8_t>(guid.Data1 >> 16),
                                             static_cast<std::uint8_t>(guid.Data1 >> 8),
                                             static_cast<std::uint8_t>(guid.Data1),
                                             static_cast<std::uint8_t>(guid.Data2 >> 8),
                                             static_cast<std::uint8_t>(guid.Data2),
                                             static_cast<std::uint8_t>(guid.Data3 >> 8),
                                             static_cast<std::uint8_t>(guid.Data3),
                                             guid.Data4[0],
                                             guid.Data4[1],
                                             guid.Data4[2],
                                             guid.Data4[3],
                                             guid.Data4[4],
                                             guid.Data4[5],
                                             guid.Data4[6],
                                             guid.Data4[7]};
    constexpr char kDigits[] = "0123456789ABCDEF";

    std::string text(kGuidTextLength, '-');
    text.front() = '{';
    text.back() = '}';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[kDigitOffsets[i]] = kDigits[bytes[i] >> 4];
        text[kDigitOffsets[i] + 1] = kDigits[bytes[i] & 0xF];
    }
    return text;
}

}  // namespace velcom::detail
