#include "markup/ValueLines.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include <velcom/Memory.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace valueLines {

namespace {

// Which characters end a token: CR and LF always, "=" only outside a value.
constexpr std::array<bool, 256> delimiters(bool valueMode) {
    std::array<bool, 256> table{};
    table['\r'] = true;
    table['\n'] = true;
    table['='] = !valueMode;
    return table;
}
constexpr auto kKeyDelimiters = delimiters(false);
constexpr auto kValueDelimiters = delimiters(true);

}  // namespace

// Sixteen characters at a time where the processor has SSE2, else eight: lines of a large value
// are long runs without a delimiter, and the short keys and values of a typical page each begin a
// search. In the eight-byte form, a byte equal to the pattern becomes zero after the XOR, and the
// zero-byte test marks it; the lowest mark is exact, so on a little-endian machine it is the first
// match.
std::size_t findDelimiter(std::string_view input, std::size_t position, bool valueMode) {
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    const __m128i equals = _mm_set1_epi8(valueMode ? '\n' : '=');
    while (position + 16 <= input.size()) {
        const __m128i bytes =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(input.data() + position));
        const __m128i marks = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed), _mm_cmpeq_epi8(bytes, carriageReturn)),
            _mm_cmpeq_epi8(bytes, equals));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(marks));
        if (mask != 0) return position + static_cast<std::size_t>(std::countr_zero(mask));
        position += 16;
    }
#endif
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    const auto zeroBytes = [](std::uint64_t word) { return (word - kOnes) & ~word & kHighs; };
    if constexpr (std::endian::native == std::endian::little) {
        while (position + 8 <= input.size()) {
            std::uint64_t word;
            std::memcpy(&word, input.data() + position, 8);
            std::uint64_t marks =
                zeroBytes(word ^ (kOnes * '\n')) | zeroBytes(word ^ (kOnes * '\r'));
            if (!valueMode) marks |= zeroBytes(word ^ (kOnes * '='));
            if (marks != 0) return position + static_cast<std::size_t>(std::countr_zero(marks)) / 8;
            position += 8;
        }
    }
    const auto& table = valueMode ? kValueDelimiters : kKeyDelimiters;
    while (position < input.size() && !table[static_cast<unsigned char>(input[position])])
        ++position;
    return position;
}

bool nextLine(std::string_view text, std::size_t position, Line& line) {
    if (!nextWord(text, position, line)) return false;
    finishLine(text, line);
    return true;
}

std::string join(std::string_view lines, std::size_t size) {
    std::string value;
    value.reserve(size);
    velcom::adviseLargeBuffer(value.data(), value.capacity());
    std::size_t position = findDelimiter(lines, 0, true);
    value.append(trimBlanks(lines.substr(0, position)));
    Line line;
    while (nextLine(lines, position, line)) {
        appendLine(value, line);
        position = line.end;
    }
    return value;
}

}  // namespace valueLines
