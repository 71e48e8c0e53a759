#include "ca/ApplicantData.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace ca {
namespace {

constexpr std::size_t kNameBound = 64;
constexpr std::size_t kEmailBound = 128;

// The code points of `text`; none when it is not well-formed UTF-8 (no overlong forms, no
// surrogates, nothing past U+10FFFF).
std::optional<std::u32string> decodeUtf8(std::string_view text) {
    std::u32string decoded;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80       ? 1
                                   : lead >> 5 == 6  ? 2
                                   : lead >> 4 == 14 ? 3
                                   : lead >> 3 == 30 ? 4
                                                     : 0;
        if (length == 0 || at + length > text.size()) return std::nullopt;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t next = 1; next < length; ++next) {
            const auto continuation = static_cast<unsigned char>(text[at + next]);
            if (continuation >> 6 != 2) return std::nullopt;
            point = point << 6 | (continuation & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000))
            return std::nullopt;
        decoded += point;
        at += length;
    }
    return decoded;
}

// The characters of a valid text, after the rules every applicant text keeps.
std::size_t checkedLength(const std::string& option, const std::string& text) {
    if (text.empty()) throw std::runtime_error(option + " must not be empty");
    const std::optional<std::u32string> decoded = decodeUtf8(text);
    if (!decoded) throw std::runtime_error(option + " is not valid UTF-8");
    for (const char32_t point : *decoded)
        if (point < 0x20 || (point >= 0x7F && point < 0xA0))
            throw std::runtime_error(option + " must not hold control characters");
    // Either would let the text end the markup comment it is written into, or start markup.
    if (text.find("--") != std::string::npos || text.find_first_of("<>") != std::string::npos)
        throw std::runtime_error(option + " must not hold --, < or >");
    return decoded->size();
}

}  // namespace

void requireApplicantData(const ApplicantData& data) {
    const std::size_t commonName =
        checkedLength("--first", data.first) + 1 + checkedLength("--last", data.last);
    if (commonName > kNameBound)
        throw std::runtime_error("--first and --last make a common name over " +
                                 std::to_string(kNameBound) + " characters");
    if (checkedLength("--org", data.org) > kNameBound)
        throw std::runtime_error("--org is over " + std::to_string(kNameBound) + " characters");
    if (checkedLength("--email", data.email) > kEmailBound)
        throw std::runtime_error("--email is over " + std::to_string(kEmailBound) + " characters");
    if (data.email.find('@') == std::string::npos || data.email.find(',') != std::string::npos)
        throw std::runtime_error("--email must be one mail address");
    if (data.country.size() != 2 || data.country[0] < 'A' || data.country[0] > 'Z' ||
        data.country[1] < 'A' || data.country[1] > 'Z')
        throw std::runtime_error("--country must be two letters A-Z");
}

}  // namespace ca
