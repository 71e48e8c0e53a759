#include "markup/mtGScanner.h"

#include <array>

#include "Utility/NoCase.h"
#include "errors/ErrorReporting.h"
#include "markup/Tokens.h"
#include "tracer/ITracer.h"

namespace {

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

// Upper-cased first characters of the keywords: most words start with none of them and skip the
// table at once.
constexpr std::array<bool, 256> keywordStarts() {
    std::array<bool, 256> table{};
    for (const KeywordEntry& keyword : kKeywords) {
        const auto first = static_cast<unsigned char>(keyword.text[0]);
        table[first] = true;
        if (first >= 'A' && first <= 'Z') table[first - 'A' + 'a'] = true;
    }
    return table;
}
constexpr auto kKeywordStarts = keywordStarts();

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
    if (!text.empty() && kKeywordStarts[static_cast<unsigned char>(text[0])]) {
        for (std::size_t row = 0; row < std::size(kKeywords); ++row) {
            const KeywordEntry& keyword = kKeywords[row];
            if (text.size() < keyword.length ||
                equalsNoCaseN(text, std::string_view(keyword.text, keyword.length),
                              keyword.length) != 0)
                continue;
            if (keyword.code == TokEquals) m_bValueMode = true;
            if (keyword.code == TokNewLine) m_bValueMode = false;
            return keyword.code;
        }
    }
    // The message is only composed when it will be traced: continuation lines of a large value
    // are all unknown words.
    if ((kTraceHandler & g_lTraceLevel.load(std::memory_order_relaxed)) != 0)
        traceAt(kTraceHandler, kSource, kUnknownTokenLine, "TSR unknown token: " + text);
    return TokWord;
}

bool mtGScanner::pushBack(int code, const std::string& text) {
    m_pending.push_back({text, code});
    return true;
}

bool mtGScanner::isEOF() { return m_pending.empty() && m_stream.eof; }

bool mtGScanner::isBad() { return false; }

std::size_t mtGScanner::remainingInput() const { return m_stream.text.size() - m_stream.position; }
