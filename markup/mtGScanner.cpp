#include "markup/mtGScanner.h"

#include <array>

#include "errors/ErrorReporting.h"
#include "markup/NodeValue.h"
#include "markup/Tokens.h"
#include "markup/ValueLines.h"
#include "tracer/ITracer.h"

namespace {

constexpr std::string_view kUnknownTokenPrefix = "TSR unknown token: ";

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
bool startsWithNoCase(std::string_view text, const KeywordEntry& keyword) {
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
    const std::string_view trimmed = valueLines::trimBlanks(text);
    const auto begin = static_cast<std::size_t>(trimmed.data() - text.data());
    text.resize(begin + trimmed.size());
    text.erase(0, begin);
}

// The code of the keyword text begins with, or TokWord.
int keywordCode(std::string_view text) {
    if (text.empty()) return TokWord;
    const auto first = static_cast<unsigned char>(text[0]);
    for (unsigned char i = 0; i < kKeywordIndex.count[first]; ++i) {
        const KeywordEntry& keyword = kKeywords[kKeywordIndex.rows[first][i]];
        if (startsWithNoCase(text, keyword)) return keyword.code;
    }
    return TokWord;
}

}  // namespace

mtGScanner::mtGScanner(std::string_view block, std::shared_ptr<const void> page)
    : m_stream{block}, m_pPage(std::move(page)) {}

bool mtGScanner::collect(std::string& text) {
    const std::string_view input = m_stream.text;
    const std::size_t start = m_stream.position;
    const std::size_t end = valueLines::findDelimiter(input, start, m_bValueMode);
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
    const int code = keywordCode(text);
    if (code == TokEquals) m_bValueMode = true;
    if (code == TokNewLine) m_bValueMode = false;
    if (code == TokWord) traceUnknownWord(text);
    return code;
}

// The message is only composed when it will be traced: continuation lines of a large value are all
// unknown words.
void mtGScanner::traceUnknownWord(std::string_view word) {
    if ((kTraceHandler & g_lTraceLevel.load(std::memory_order_relaxed)) != 0)
        traceAt(kTraceHandler, kSource, kUnknownTokenLine,
                std::string(kUnknownTokenPrefix).append(word));
}

// Reads what the token loop of a value would: the rest of the line after "=", then each line up
// to the first whose word begins with a keyword, which is left to be read next.
bool mtGScanner::takeValue(NodeValue& value) {
    if (!m_pending.empty() || !m_bValueMode || m_stream.eof) return false;
    const std::string_view input = m_stream.text;
    const std::size_t start = m_stream.position;
    std::size_t position = valueLines::findDelimiter(input, start, true);
    std::size_t size = valueLines::trimBlanks(input.substr(start, position - start)).size();
    std::size_t end = input.size();
    valueLines::Line line;
    while (valueLines::nextLine(input, position, line)) {
        if (keywordCode(line.word) != TokWord) {
            end = line.begin;
            break;
        }
        traceUnknownWord(line.word);
        size += valueLines::joinedSize(line);
        position = line.end;
    }
    m_bValueMode = false;
    m_stream.position = end;
    m_stream.eof = end == input.size();
    const std::string_view lines = input.substr(start, end - start);
    if (m_pPage != nullptr && size >= kPageValueSize)
        value = NodeValue(m_pPage, lines, size);
    else
        value = NodeValue(valueLines::join(lines, size));
    return true;
}

bool mtGScanner::pushBack(int code, const std::string& text) {
    m_pending.push_back({text, code});
    return true;
}

bool mtGScanner::isEOF() { return m_pending.empty() && m_stream.eof; }

bool mtGScanner::isBad() { return false; }

std::size_t mtGScanner::remainingInput() const { return m_stream.text.size() - m_stream.position; }
