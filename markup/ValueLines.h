// How a value reads from the lines of a block: its first line is taken whole; each following line
// that is not blank is a word, and when the line holds "=", the "=" and the rest of the line
// follow the word; every part loses the blanks at its ends, and the lines join with CR LF. The
// scanner yields these parts token by token; the functions here read them straight from the text,
// which a value of many megabytes needs.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace valueLines {

namespace detail {

// Which characters end a token: CR and LF always, "=" only outside a value.
constexpr std::array<bool, 256> delimiters(bool valueMode) {
    std::array<bool, 256> table{};
    table['\r'] = true;
    table['\n'] = true;
    table['='] = !valueMode;
    return table;
}
inline constexpr auto kKeyDelimiters = delimiters(false);
inline constexpr auto kValueDelimiters = delimiters(true);

}  // namespace detail

// The first CR or LF at or after position, and in key mode also the first "="; the end of input
// when there is none. Inline, so that the mode is known where it is called: it runs twice for
// every line of a page.
//
// Sixteen characters at a time where the processor has SSE2, else eight: lines of a large value
// are long runs without a delimiter, and the short keys and values of a typical page each begin a
// search. In the eight-byte form, a byte equal to the pattern becomes zero after the XOR, and the
// zero-byte test marks it; the lowest mark is exact, so on a little-endian machine it is the first
// match.
inline std::size_t findDelimiter(std::string_view input, std::size_t position, bool valueMode) {
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
    const auto& table = valueMode ? detail::kValueDelimiters : detail::kKeyDelimiters;
    while (position < input.size() && !table[static_cast<unsigned char>(input[position])])
        ++position;
    return position;
}

inline std::string_view trimBlanks(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    std::size_t begin = 0;
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    return text.substr(begin, end - begin);
}

// One line of a value after its first, with the line ends and blank lines before it skipped.
struct Line {
    std::string_view word;
    bool hasEquals = false;
    std::string_view rest;  // after the "=", when there is one
    std::size_t begin = 0;  // where the line starts in the text
    std::size_t end = 0;    // where the next line may start
};
// The next line at or after position that is not blank; false when only blanks are left.
bool nextLine(std::string_view text, std::size_t position, Line& line);
// nextLine in two steps, for a reader that needs only the word of a line that ends the value:
// nextWord reads the line up to its word (end is where the word ends), finishLine the rest. Both
// run for every line of a page, so they are inline.
inline bool nextWord(std::string_view text, std::size_t position, Line& line) {
    while (position < text.size() && (text[position] == ' ' || text[position] == '\t' ||
                                      text[position] == '\r' || text[position] == '\n'))
        ++position;
    if (position == text.size()) return false;
    line.begin = position;
    line.end = findDelimiter(text, position, false);
    line.word = trimBlanks(text.substr(position, line.end - position));
    line.hasEquals = false;
    line.rest = {};
    return true;
}

inline void finishLine(std::string_view text, Line& line) {
    const std::size_t wordEnd = line.end;
    line.hasEquals = wordEnd < text.size() && text[wordEnd] == '=';
    if (line.hasEquals) {
        line.end = findDelimiter(text, wordEnd + 1, true);
        line.rest = trimBlanks(text.substr(wordEnd + 1, line.end - wordEnd - 1));
    }
}

// Asks for the text a kilobyte past position. The lines of a long value are read faster than the
// processor's own prefetching brings a page of many megabytes in from memory: without it each
// line's search waits for its first load, and a 64 MiB page takes about a third longer.
inline void prefetchAhead(std::string_view text, std::size_t position) {
#if defined(__GNUC__)
    constexpr std::size_t kDistance = 1024;
    if (position + kDistance < text.size()) __builtin_prefetch(text.data() + position + kDistance);
#else
    static_cast<void>(text);
    static_cast<void>(position);
#endif
}

// How many characters the line adds to the value.
inline std::size_t joinedSize(const Line& line) {
    return 2 + line.word.size() + (line.hasEquals ? 1 + line.rest.size() : 0);
}

// Adds a line as join does: CR LF, the word and, when the line holds one, "=" and the rest.
inline void appendLine(std::string& value, const Line& line) {
    value.append("\r\n").append(line.word);
    if (line.hasEquals) value.append("=").append(line.rest);
}

// The value of `lines`: the first line, then each further line as nextLine reads it; size, the
// value's length, only saves growing the text.
std::string join(std::string_view lines, std::size_t size);

}  // namespace valueLines
