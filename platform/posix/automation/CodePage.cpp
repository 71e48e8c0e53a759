// UTF-8 is the narrow code page on POSIX, so every supported code page converts as UTF-8.
//
// Invalid UTF-8 is converted, not rejected: each maximal ill-formed subsequence (a byte that
// cannot start a sequence, or a sequence cut short, overlong or encoding a surrogate or a value
// above U+10FFFF) becomes one U+FFFD, the practice Unicode recommends. MB_ERR_INVALID_CHARS turns
// that into a failure with ERROR_NO_UNICODE_TRANSLATION. On the way back an unpaired surrogate
// becomes U+FFFD, or a failure with WC_ERR_INVALID_CHARS.
#include <cstddef>
#include <limits>

#include <velcom/posix/oleauto.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isSupportedCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_UTF8;
}

int fail(LONG error) {
    SetLastError(static_cast<DWORD>(error));
    return 0;
}

// Decodes one character at text[i], moving i past it; false for an ill-formed subsequence.
bool decodeUtf8(const unsigned char* text, std::size_t size, std::size_t& i, char32_t& character) {
    const unsigned char lead = text[i++];
    if (lead < 0x80) {
        character = lead;
        return true;
    }
    int continuation = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuation = 1;
        character = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuation = 2;
        character = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuation = 3;
        character = lead & 0x07;
        minimum = 0x10000;
    } else {
        return false;
    }
    for (int k = 0; k < continuation; ++k) {
        if (i >= size || (text[i] & 0xC0) != 0x80) return false;
        const char32_t next = (character << 6) | (text[i] & 0x3F);
        // Stop at the first byte that makes the sequence overlong, a surrogate or too large, so
        // that the bytes after it are decoded on their own.
        const int remaining = continuation - k - 1;
        const char32_t lowest = next << (6 * remaining);
        const char32_t highest = lowest | ((1u << (6 * remaining)) - 1);
        if (highest < minimum || lowest > 0x10FFFF || (lowest >= 0xD800 && highest <= 0xDFFF))
            return false;
        character = next;
        ++i;
    }
    return !(character >= 0xD800 && character <= 0xDFFF);
}

// Where converted characters go: first only counted, then written into a target known to have
// room. Both passes walk the input alike, so the size asked for is the size written, without a
// converted copy in between.
template <class Unit>
class Sink {
public:
    // Counting only.
    Sink() = default;
    explicit Sink(Unit* target) : m_target(target) {}

    void put(Unit unit) {
        if (m_target != nullptr) m_target[m_count] = unit;
        ++m_count;
    }
    // A run of characters below U+0080, which are one unit in either form.
    template <class Character>
    void putAscii(const Character* run, std::size_t length) {
        if (m_target != nullptr)
            for (std::size_t k = 0; k < length; ++k)
                m_target[m_count + k] = static_cast<Unit>(run[k]);
        m_count += length;
    }
    std::size_t count() const { return m_count; }

private:
    Unit* m_target = nullptr;
    std::size_t m_count = 0;
};

void appendUtf16(Sink<char16_t>& out, char32_t character) {
    if (character < 0x10000) {
        out.put(static_cast<char16_t>(character));
    } else {
        character -= 0x10000;
        out.put(static_cast<char16_t>(0xD800 + (character >> 10)));
        out.put(static_cast<char16_t>(0xDC00 + (character & 0x3FF)));
    }
}

void appendUtf8(Sink<char>& out, char32_t character) {
    if (character < 0x80) {
        out.put(static_cast<char>(character));
    } else if (character < 0x800) {
        out.put(static_cast<char>(0xC0 | (character >> 6)));
        out.put(static_cast<char>(0x80 | (character & 0x3F)));
    } else if (character < 0x10000) {
        out.put(static_cast<char>(0xE0 | (character >> 12)));
        out.put(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        out.put(static_cast<char>(0x80 | (character & 0x3F)));
    } else {
        out.put(static_cast<char>(0xF0 | (character >> 18)));
        out.put(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
        out.put(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        out.put(static_cast<char>(0x80 | (character & 0x3F)));
    }
}

// The count of an input given with -1 includes its terminating zero.
template <class Character>
std::size_t inputLength(const Character* text, int length) {
    if (length >= 0) return static_cast<std::size_t>(length);
    std::size_t count = 0;
    while (text[count] != 0) ++count;
    return count + 1;
}

// Converts into `out`; false with the error set when the input is refused.
bool toUtf16(const unsigned char* bytes, std::size_t size, DWORD flags, Sink<char16_t>& out) {
    for (std::size_t i = 0; i < size;) {
        std::size_t run = i;
        while (run < size && bytes[run] < 0x80) ++run;
        if (run > i) {
            out.putAscii(bytes + i, run - i);
            i = run;
            continue;
        }
        char32_t character = 0;
        if (!decodeUtf8(bytes, size, i, character)) {
            if ((flags & MB_ERR_INVALID_CHARS) != 0) return fail(ERROR_NO_UNICODE_TRANSLATION);
            character = kReplacement;
        }
        appendUtf16(out, character);
    }
    return true;
}

bool toUtf8(const char16_t* source, std::size_t size, DWORD flags, Sink<char>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        std::size_t run = i;
        while (run < size && source[run] < 0x80) ++run;
        if (run > i) {
            out.putAscii(source + i, run - i);
            i = run - 1;
            continue;
        }
        char32_t character = source[i];
        if (character >= 0xD800 && character <= 0xDBFF && i + 1 < size && source[i + 1] >= 0xDC00 &&
            source[i + 1] <= 0xDFFF) {
            character = 0x10000 + ((character - 0xD800) << 10) + (source[i + 1] - 0xDC00);
            ++i;
        } else if (character >= 0xD800 && character <= 0xDFFF) {
            if ((flags & WC_ERR_INVALID_CHARS) != 0) return fail(ERROR_NO_UNICODE_TRANSLATION);
            character = kReplacement;
        }
        appendUtf8(out, character);
    }
    return true;
}

// Counts first, then writes into the target when it has room for all.
template <class Unit, class Convert>
int convertInto(Unit* target, int targetLength, Convert&& convert) {
    Sink<Unit> counted;
    if (!convert(counted)) return 0;
    if (counted.count() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return fail(ERROR_INVALID_PARAMETER);
    const int needed = static_cast<int>(counted.count());
    if (targetLength == 0) return needed;
    if (targetLength < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
    Sink<Unit> written(target);
    return convert(written) ? needed : 0;
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength,
                                   LPWSTR target, int targetLength) {
    if (!isSupportedCodePage(codePage) || source == nullptr || sourceLength == 0 ||
        sourceLength < -1 || targetLength < 0 || (target == nullptr && targetLength != 0))
        return fail(ERROR_INVALID_PARAMETER);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    const std::size_t size = inputLength(source, sourceLength);
    return convertInto(target, targetLength,
                       [&](Sink<char16_t>& out) { return toUtf16(bytes, size, flags, out); });
}

extern "C" int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength,
                                   LPSTR target, int targetLength, LPCSTR defaultChar,
                                   BOOL* usedDefaultChar) {
    if (!isSupportedCodePage(codePage) || source == nullptr || sourceLength == 0 ||
        sourceLength < -1 || targetLength < 0 || (target == nullptr && targetLength != 0))
        return fail(ERROR_INVALID_PARAMETER);
    // UTF-8 can encode every character, so Windows refuses a default character for it.
    if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr))
        return fail(ERROR_INVALID_PARAMETER);
    if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
    const std::size_t size = inputLength(source, sourceLength);
    return convertInto(target, targetLength,
                       [&](Sink<char>& out) { return toUtf8(source, size, flags, out); });
}
