#include "Utf16.h"

namespace velcom::registry {

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void appendUnit(std::vector<BYTE>& out, char32_t unit) {
    out.push_back(static_cast<BYTE>(unit & 0xFF));
    out.push_back(static_cast<BYTE>(unit >> 8));
}

void appendUtf8(std::vector<BYTE>& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<BYTE>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<BYTE>(0xC0 | (c >> 6)));
        out.push_back(static_cast<BYTE>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<BYTE>(0xE0 | (c >> 12)));
        out.push_back(static_cast<BYTE>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<BYTE>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<BYTE>(0xF0 | (c >> 18)));
        out.push_back(static_cast<BYTE>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<BYTE>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<BYTE>(0x80 | (c & 0x3F)));
    }
}

// The lead byte of a multi-byte sequence: its marker bits, its length and the smallest code point
// that needs this length.
struct LeadByte {
    BYTE mask;
    BYTE marker;
    std::size_t length;
    char32_t smallest;
};
constexpr LeadByte kLeadBytes[] = {
    {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};

// Decodes one UTF-8 sequence at the front of `rest` and consumes it. Overlong forms, surrogates
// and values beyond U+10FFFF are refused, so that only one byte sequence maps to a code point.
std::optional<char32_t> takeUtf8(std::span<const BYTE>& rest) {
    const BYTE first = rest[0];
    if (first < 0x80) {
        rest = rest.subspan(1);
        return first;
    }
    for (const LeadByte& lead : kLeadBytes) {
        if ((first & lead.mask) != lead.marker) continue;
        if (rest.size() < lead.length) return std::nullopt;
        char32_t c = first & static_cast<BYTE>(~lead.mask);
        for (std::size_t i = 1; i < lead.length; ++i) {
            if ((rest[i] & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (rest[i] & 0x3F);
        }
        if (c < lead.smallest || c > kMaxCodePoint || isSurrogate(c)) return std::nullopt;
        rest = rest.subspan(lead.length);
        return c;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<BYTE>> utf8ToUtf16le(std::span<const BYTE> utf8) {
    std::vector<BYTE> out;
    out.reserve(utf8.size() * 2);
    while (!utf8.empty()) {
        const std::optional<char32_t> c = takeUtf8(utf8);
        if (!c) return std::nullopt;
        if (*c < 0x10000) {
            appendUnit(out, *c);
        } else {
            appendUnit(out, 0xD800 + ((*c - 0x10000) >> 10));
            appendUnit(out, 0xDC00 + ((*c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::optional<std::vector<BYTE>> utf16leToUtf8(std::span<const BYTE> utf16) {
    if (utf16.size() % 2 != 0) return std::nullopt;
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char32_t>(utf16[i] | (utf16[i + 1] << 8));
    };
    std::vector<BYTE> out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); i += 2) {
        char32_t c = unitAt(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 2 < utf16.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (isSurrogate(c)) return std::nullopt;
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace velcom::registry
