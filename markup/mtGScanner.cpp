#include "markup/mtGScanner.h"

#include <array>

#include "Utility/NoCase.h"
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

bool startsWithNoCase(const std::string& text, const KeywordEntry& keyword) {
    if (text.size() < keyword.length) return false;
    return equalsNoCaseN(std::string_view(text.data(), keyword.length),
                         std::string_view(keyword.text, keyword.length), keyword.length) == 0;
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

bool mtGScanner::collect(std::string& text) {
    const auto& table = m_bValueMode ? kValueDelimiters : kKeyDelimiters;
    const std::string_view input = m_stream.text;
    const std::size_t start = m_stream.position;
    std::size_t end = start;
    while (end < input.size() && !table[static_cast<unsigned char>(input[end])]) ++end;
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
        text.assign(top.text);  // keeps the caller's buffer for the next long token
        m_bValueMode = top.code == TokText;
        m_pending.pop_back();
        // The line ends and "=" that every line produces need no table to classify them.
        if (!m_bValueMode && text.size() == 1 && (text[0] == '\n' || text[0] == '=')) {
            m_bValueMode = text[0] == '=';
            return m_bValueMode ? TokEquals : TokNewLine;
        }
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
