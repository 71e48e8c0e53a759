#include "text/AnsiText.h"

#include <climits>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

[[noreturn]] void raiseConversionFailure() {
    const DWORD error = GetLastError();
    _com_issue_error(error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY
                         ? E_OUTOFMEMORY
                         : HRESULT_FROM_WIN32(error));
}

// Widens text into wide while it is ASCII; false at the first byte that is not. Sixteen bytes
// (with SSE2) or eight are tested and widened at a time: trace lines are ASCII, frequent and up to
// a hundred characters long.
bool widenAscii(const char* text, std::size_t size, OLECHAR* wide) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (_mm_movemask_epi8(bytes) != 0) return false;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(wide + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(wide + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i, 8);
        if ((word & kHighBits) != 0) return false;
        for (std::size_t j = 0; j < 8; ++j)
            wide[i + j] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i + j]));
    }
    for (; i < size; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) return false;
        wide[i] = static_cast<OLECHAR>(c);
    }
    return true;
}

// Narrows text into narrow while it is ASCII; false at the first character that is not.
bool narrowAscii(const OLECHAR* text, std::size_t length, char* narrow) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] >= 0x80) return false;
        narrow[i] = static_cast<char>(text[i]);
    }
    return true;
}

velcom::Bstr convert(const char* text, std::size_t size) {
    if (size == 0) return velcom::Bstr(std::u16string_view());
    if (size > INT_MAX) _com_issue_error(E_OUTOFMEMORY);
    // Every code page maps ASCII to itself, so ASCII is widened directly, in the string that a
    // text of this many characters needs in any case.
    velcom::Bstr ascii = velcom::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(size)));
    if (ascii.get() == nullptr) _com_issue_error(E_OUTOFMEMORY);
    if (widenAscii(text, size, ascii.get())) return ascii;
    const int length = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), nullptr, 0);
    if (length <= 0) raiseConversionFailure();
    velcom::Bstr result =
        velcom::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
    if (result.get() == nullptr) _com_issue_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), result.get(), length) !=
        length)
        raiseConversionFailure();
    return result;
}

}  // namespace

velcom::Bstr toBstr(const char* text) {
    return text == nullptr ? velcom::Bstr() : convert(text, std::char_traits<char>::length(text));
}

velcom::Bstr toBstr(const std::string& text) { return convert(text.data(), text.size()); }

void assignBstr(velcom::Bstr& target, std::string_view text, std::size_t unchanged) {
    // A line that is not ASCII after all is converted anew, over what was widened of it.
    if (target.get() != nullptr && target.length() == text.size() && unchanged <= text.size() &&
        widenAscii(text.data() + unchanged, text.size() - unchanged, target.get() + unchanged))
        return;
    target = convert(text.data(), text.size());
}

std::string toAnsi(const OLECHAR* text, UINT length) {
    if (text == nullptr || length == 0) return std::string();
    if (length > INT_MAX) _com_issue_error(E_OUTOFMEMORY);
    // As in toBstr: ASCII is the same in every code page, and addresses, paths and passwords
    // mostly are ASCII.
    std::string ascii(length, '\0');
    if (narrowAscii(text, length, ascii.data())) return ascii;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) raiseConversionFailure();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::string toAnsi(BSTR text) { return toAnsi(text, SysStringLen(text)); }

std::string toAnsi(std::u16string_view text) {
    return toAnsi(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}
