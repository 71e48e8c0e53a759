#include "markup/mtGScanner.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "errors/ErrorReporting.h"
#include "markup/Tokens.h"
#include "tracer/ITracer.h"

namespace {

const std::string kUnknownTokenPrefix = "TSR unknown token: ";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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

// For each first character, the keyword rows that start with it, in table order: a word is only
// compared with those, and most words (the lines of a Base64 value) with none.
struct KeywordIndex {
    std::array<std::array<unsigned char, 4>, 256> rows{};
    std::array<unsigned char, 256> count{};
};

constexpr KeywordIndex buildKeywordIndex() {
    KeywordIndex index;
    for (std::size_t row = 0; row < std::size(kKeywords); ++row) {
        const auto first = static_cast<unsigned char>(kKeywords[row].text[0]);
        const bool letter = first >= 'A' && first <= 'Z';
        for (const unsigned char key : {first, static_cast<unsigned char>(first - 'A' + 'a')}) {
            index.rows[key][index.count[key]++] = static_cast<unsigned char>(row);
            if (!letter) break;
        }
    }
    return index;
}
constexpr KeywordIndex kKeywordIndex = buildKeywordIndex();

// The keyword comparison of equalsNoCaseN, inlined: it runs for a third of all continuation lines.
bool startsWithNoCase(const std::string& text, const KeywordEntry& keyword) {
    if (text.size() < keyword.length) return false;
    for (std::size_t i = 0; i < keyword.length; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        char k = keyword.text[i];
        if (k >= 'a' && k <= 'z') k = static_cast<char>(k - 'a' + 'A');
        if (c != k) return false;
    }
    return true;
}

void trimBlanks(std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && isBlank(text[begin])) ++begin;
    if (begin == 0)
        text.resize(end);
    else
        text.assign(text, begin, end - begin);
}

}  // namespace

mtGScanner::mtGScanner(std::string_view block) : m_stream{block} {}

namespace {

// The first delimiter at or after position, eight characters at a time: lines of a large value are
// long runs without one. A byte equal to the pattern becomes zero after the XOR, and the zero-byte
// test marks it; the lowest mark is exact, so on a little-endian machine it is the first match.
std::size_t findDelimiter(std::string_view input, std::size_t position, bool valueMode) {
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

}  // namespace

bool mtGScanner::collect(std::string& text) {
    const std::string_view input = m_stream.text;
    const std::size_t start = m_stream.position;
    const std::size_t end = findDelimiter(input, start, m_bValueMode);
    text.append(input.data() + start, end - start);
    if (end == input.size()) {
        m_stream.position = end;
        m_stream.eof = true;
        return false;
    }
    // The delimiter comes next; a CR counts as a line end, and the LF of a CR LF pair is skipped
    // later as whitespace.
    const char delimiter = input[end];
    m_stream.position = end + 1;
    if (delimiter == '=')
        m_pending.push_back({"=", TokEquals});
    else
        m_pending.push_back({"\n", TokNewLine});
    return true;
}

int mtGScanner::nextToken(std::string& text) {
    text.clear();
    if (!m_pending.empty()) {
        PendingToken& top = m_pending.back();
        // The line ends and "=" that every line produces classify to themselves.
        if (top.code != TokText && top.text.size() == 1 &&
            (top.text[0] == '\n' || top.text[0] == '=')) {
            const char delimiter = top.text[0];
            m_pending.pop_back();
            text.assign(1, delimiter);
            m_bValueMode = delimiter == '=';
            return m_bValueMode ? TokEquals : TokNewLine;
        }
        text.assign(top.text);  // keeps the caller's buffer for the next long token
        m_bValueMode = top.code == TokText;
        m_pending.pop_back();
    } else {
        if (!m_bValueMode && !m_stream.eof) {
            const std::string_view input = m_stream.text;
            std::size_t position = m_stream.position;
            while (position < input.size() && isWhitespace(input[position])) ++position;
            m_stream.position = position;
            if (position == input.size()) m_stream.eof = true;
        }
        const bool delimited = !m_stream.eof && collect(text);
        trimBlanks(text);
        if (!delimited && text.empty()) return TokEnd;
    }
    if (m_bValueMode) {
        m_bValueMode = false;
        return TokText;
    }
    return classify(text);
}

int mtGScanner::classify(std::string& text) {
    if (!text.empty()) {
        const auto first = static_cast<unsigned char>(text[0]);
        for (unsigned char i = 0; i < kKeywordIndex.count[first]; ++i) {
            const KeywordEntry& keyword = kKeywords[kKeywordIndex.rows[first][i]];
            if (!startsWithNoCase(text, keyword)) continue;
            if (keyword.code == TokEquals) m_bValueMode = true;
            if (keyword.code == TokNewLine) m_bValueMode = false;
            return keyword.code;
        }
    }
    // The message is only composed when it will be traced: continuation lines of a large value
    // are all unknown words.
    if ((kTraceHandler & g_lTraceLevel.load(std::memory_order_relaxed)) != 0)
        traceAt(kTraceHandler, kSource, kUnknownTokenLine, kUnknownTokenPrefix + text);
    return TokWord;
}

bool mtGScanner::pushBack(int code, const std::string& text) {
    m_pending.push_back({text, code});
    return true;
}

bool mtGScanner::isEOF() { return m_pending.empty() && m_stream.eof; }

bool mtGScanner::isBad() { return false; }

std::size_t mtGScanner::remainingInput() const { return m_stream.text.size() - m_stream.position; }
