#include "markup/mtGScanner.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include <velcom/Memory.h>

#include "errors/ErrorReporting.h"
#include "markup/NodeValue.h"
#include "markup/Tokens.h"
#include "markup/ValueLines.h"
#include "tracer/ITracer.h"

namespace {

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// For each first character, the keyword rows that start with it, in table order: a word is only
// compared with those, and most words (the lines of a Base64 value) with none. Each keyword is kept
// in capitals with a mask per character that folds a letter's case, so that a character is
// compared in one step; the same again as little-endian words, eight characters to a step, for a
// word with room enough behind it to be read a word at a time.
constexpr std::size_t kLongestKeyword = 20;
constexpr std::size_t kKeywordWords = 3;
constexpr std::size_t kWideRoom = kKeywordWords * 8;
struct KeywordIndex {
    std::array<std::array<unsigned char, 4>, 256> rows{};
    std::array<unsigned char, 256> count{};
    std::array<std::array<unsigned char, kLongestKeyword>, std::size(kKeywords)> capitals{};
    std::array<std::array<unsigned char, kLongestKeyword>, std::size(kKeywords)> caseMasks{};
    std::array<std::array<std::uint64_t, kKeywordWords>, std::size(kKeywords)> capitalWords{};
    std::array<std::array<std::uint64_t, kKeywordWords>, std::size(kKeywords)> maskWords{};
};

constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr KeywordIndex buildKeywordIndex() {
    KeywordIndex index;
    for (std::size_t row = 0; row < std::size(kKeywords); ++row) {
        const KeywordEntry& keyword = kKeywords[row];
        for (std::size_t i = 0; i < keyword.length; ++i) {
            // Only letters fold: "*" & 0xDF would equal "\n".
            const bool letter = isLetter(keyword.text[i]);
            index.caseMasks[row][i] = letter ? 0xDF : 0xFF;
            index.capitals[row][i] =
                static_cast<unsigned char>(keyword.text[i]) & (letter ? 0xDF : 0xFF);
            const std::size_t shift = 8 * (i % 8);
            index.capitalWords[row][i / 8] |= std::uint64_t{index.capitals[row][i]} << shift;
            index.maskWords[row][i / 8] |= std::uint64_t{index.caseMasks[row][i]} << shift;
        }
        const auto first = static_cast<unsigned char>(keyword.text[0]);
        const bool letter = first >= 'A' && first <= 'Z';
        for (const unsigned char key : {first, static_cast<unsigned char>(first - 'A' + 'a')}) {
            index.rows[key][index.count[key]++] = static_cast<unsigned char>(row);
            if (!letter) break;
        }
    }
    return index;
}
constexpr KeywordIndex kKeywordIndex = buildKeywordIndex();
static_assert([] {
    for (const KeywordEntry& keyword : kKeywords)
        if (keyword.length > kWideRoom || keyword.length > kLongestKeyword) return false;
    return true;
}());

// The keyword comparison of equalsNoCaseN, inlined: it runs for every key and continuation line.
bool startsWithNoCase(std::string_view text, std::size_t row) {
    const std::size_t length = kKeywords[row].length;
    if (text.size() < length) return false;
    const auto& capitals = kKeywordIndex.capitals[row];
    const auto& masks = kKeywordIndex.caseMasks[row];
    for (std::size_t i = 0; i < length; ++i)
        if ((static_cast<unsigned char>(text[i]) & masks[i]) != capitals[i]) return false;
    return true;
}

void trimBlanks(std::string& text) {
    const std::string_view trimmed = valueLines::trimBlanks(text);
    const auto begin = static_cast<std::size_t>(trimmed.data() - text.data());
    text.resize(begin + trimmed.size());
    text.erase(0, begin);
}

// keywordCode one character at a time, for a word too near the end of what may be read.
int keywordCodeByCharacter(std::string_view text, unsigned char first) {
    for (unsigned char i = 0; i < kKeywordIndex.count[first]; ++i) {
        const std::size_t row = kKeywordIndex.rows[first][i];
        if (startsWithNoCase(text, row)) return kKeywords[row].code;
    }
    return TokWord;
}

// The code of the keyword text begins with, or TokWord. Up to readable, the characters behind text
// may be read too: where there are enough of them, a keyword is compared a word at a time. Inline
// for the lines of a value, each of which is looked up.
inline int keywordCode(std::string_view text, const char* readable) {
    if (text.empty()) return TokWord;
    const auto first = static_cast<unsigned char>(text[0]);
    const unsigned char candidates = kKeywordIndex.count[first];
    if (candidates == 0) return TokWord;
    if (std::endian::native != std::endian::little ||
        static_cast<std::size_t>(readable - text.data()) < kWideRoom)
        return keywordCodeByCharacter(text, first);
    // Most rows differ from the word in its first eight characters: the rest is read for a row
    // that matches those.
    const auto wordAt = [&text](std::size_t index) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + 8 * index, 8);
        return word;
    };
    const std::uint64_t head = wordAt(0);
    for (unsigned char i = 0; i < candidates; ++i) {
        const std::size_t row = kKeywordIndex.rows[first][i];
        const auto& capitals = kKeywordIndex.capitalWords[row];
        const auto& masks = kKeywordIndex.maskWords[row];
        if ((head & masks[0]) != capitals[0] || text.size() < kKeywords[row].length) continue;
        if (((wordAt(1) & masks[1]) ^ capitals[1]) == 0 &&
            ((wordAt(2) & masks[2]) ^ capitals[2]) == 0)
            return kKeywords[row].code;
    }
    return TokWord;
}

const char* endOf(std::string_view text) { return text.data() + text.size(); }

// The parts of a value's further lines as they were read, for a value of a few lines: left
// uninitialised, as most values have none.
struct KeptLine {
    const char* word;
    std::size_t wordSize;
    const char* rest;
    std::size_t restSize;
    bool hasEquals;
};
constexpr std::size_t kKeptLines = 32;

// What valueLines::join gives, from lines kept while they were read instead of reading them again;
// into text, which is given room for size characters.
void joinKept(std::string& text, std::string_view first, std::span<const KeptLine> lines,
              std::size_t size) {
    text.reserve(size);
    text.append(first);
    for (const KeptLine& line : lines) {
        text.append("\r\n").append(line.word, line.wordSize);
        if (line.hasEquals) text.append("=").append(line.rest, line.restSize);
    }
}

}  // namespace

mtGScanner::mtGScanner(std::string_view block, std::shared_ptr<const void> page)
    : m_stream{block}, m_pPage(std::move(page)) {}

bool mtGScanner::collect(std::string& text, std::size_t start, std::size_t end) {
    text.append(m_stream.text.data() + start, end - start);
    if (end == m_stream.text.size()) {
        m_stream.position = end;
        m_stream.eof = true;
        return false;
    }
    // The delimiter comes next; a CR counts as a line end, and the LF of a CR LF pair is skipped
    // later as whitespace.
    m_delimiter = m_stream.text[end] == '=' ? '=' : '\n';
    m_stream.position = end + 1;
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
    } else if (m_delimiter != 0) {
        text.assign(1, m_delimiter);
        m_bValueMode = m_delimiter == '=';
        m_delimiter = 0;
        return m_bValueMode ? TokEquals : TokNewLine;
    } else {
        const std::string_view input = m_stream.text;
        if (!m_bValueMode && !m_stream.eof) {
            std::size_t position = m_stream.position;
            while (position < input.size() && isWhitespace(input[position])) ++position;
            m_stream.position = position;
            if (position == input.size()) m_stream.eof = true;
            // A key line seen ahead (by takeValue or peekKey) was read once: its word is known.
            if (position == m_nextKey.begin && m_nextKey.code != TokWord) {
                collect(text, position, m_nextKey.end);
                trimBlanks(text);
                return m_nextKey.code;
            }
        }
        const std::size_t start = m_stream.position;
        const bool delimited =
            !m_stream.eof &&
            collect(text, start, valueLines::findDelimiter(input, start, m_bValueMode));
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
    const int code = keywordCode(text, endOf(text));
    if (code == TokEquals) m_bValueMode = true;
    if (code == TokNewLine) m_bValueMode = false;
    if (code == TokWord) traceUnknownWord(text);
    return code;
}

// Continuation lines of a large value are all unknown words: the line is composed once per block.
void mtGScanner::traceUnknownWord(std::string_view word) {
    m_unknownWord.send(kTraceHandler, word);
}

// Reads what the token loop of a value would: the rest of the line after "=", then each line up
// to the first whose word begins with a keyword, which is left to be read next.
bool mtGScanner::takeValue(NodeValue& value) {
    if (!m_pending.empty() || m_delimiter != 0 || !m_bValueMode || m_stream.eof) return false;
    const std::string_view input = m_stream.text;
    const std::size_t start = m_stream.position;
    std::size_t position = valueLines::findDelimiter(input, start, true);
    const std::string_view first = valueLines::trimBlanks(input.substr(start, position - start));
    std::size_t size = first.size();
    std::size_t end = input.size();
    std::array<KeptLine, kKeptLines> kept;
    // A value of more lines, which no page will hold, is joined while it is read: its room is
    // guessed from what is left of the block (a line end may gain a character), and reading the
    // lines a second time would cost as much again.
    std::string joined;
    std::size_t lineCount = 0;
    valueLines::Line line;
    while (valueLines::nextWord(input, position, line)) {
        const int code = keywordCode(line.word, endOf(input));
        if (code != TokWord) {
            end = line.begin;
            m_nextKey = keyLine(input, line.begin, line.end, code);
            break;
        }
        valueLines::finishLine(input, line);
        valueLines::prefetchAhead(input, line.end);
        traceUnknownWord(line.word);
        size += valueLines::joinedSize(line);
        position = line.end;
        if (lineCount < kKeptLines) {
            kept[lineCount] = {line.word.data(), line.word.size(), line.rest.data(),
                               line.rest.size(), line.hasEquals};
        } else if (m_pPage == nullptr) {
            if (lineCount == kKeptLines) {
                const std::size_t left = input.size() - line.begin;
                joinKept(joined, first, kept, size + left + left / 16);
                velcom::adviseLargeBuffer(joined.data(), joined.capacity());
            }
            valueLines::appendLine(joined, line);
        }
        ++lineCount;
    }
    m_bValueMode = false;
    m_stream.position = end;
    m_stream.eof = end == input.size();
    const std::string_view lines = input.substr(start, end - start);
    // From a size on the value refers to a shared page instead of holding its text; one of many
    // lines in a shared page below that size reads them again to join them.
    if (size >= kPageValueSize && m_pPage != nullptr) {
        value = NodeValue(m_pPage, lines, size);
    } else if (lineCount > kKeptLines && m_pPage == nullptr) {
        value = NodeValue(std::move(joined));
    } else if (lineCount > kKeptLines) {
        value = NodeValue(valueLines::join(lines, size));
    } else if (lineCount > 0) {
        std::string text;
        joinKept(text, first, std::span(kept).first(lineCount), size);
        value = NodeValue(std::move(text));
    } else {
        value.assign(first);
    }
    return true;
}

mtGScanner::KeyLine mtGScanner::keyLine(std::string_view input, std::size_t begin, std::size_t end,
                                        int code) {
    const bool keyed = end < input.size() && input[end] == '=';
    return {begin, end, code, keyed ? code : TokWord};
}

// Right after a value the stream stands at the key line that ended it, already read: the answer
// is known, and the call costs no more than the question.
int mtGScanner::peekKey() {
    if (m_stream.position == m_nextKey.begin && m_pending.empty() && m_delimiter == 0 &&
        !m_bValueMode)
        return m_nextKey.keyed;
    return readKeyLine();
}

int mtGScanner::readKeyLine() {
    if (!m_pending.empty() || m_delimiter != 0 || m_bValueMode || m_stream.eof) return TokWord;
    const std::string_view input = m_stream.text;
    std::size_t position = m_stream.position;
    while (position < input.size() && isWhitespace(input[position])) ++position;
    if (position != m_nextKey.begin) {
        if (position == input.size()) return TokWord;
        const std::size_t end = valueLines::findDelimiter(input, position, false);
        m_nextKey =
            keyLine(input, position, end,
                    keywordCode(valueLines::trimBlanks(input.substr(position, end - position)),
                                endOf(input)));
    }
    return m_nextKey.keyed;
}

// Most values are one line, followed by the next key line: that line is looked up once, and the
// value's text is handed over where it lies.
bool mtGScanner::takeKeyLine(std::string_view& value) {
    if (m_nextKey.keyed == TokWord || m_stream.position != m_nextKey.begin || !m_pending.empty() ||
        m_delimiter != 0 || m_bValueMode)
        return false;
    const std::string_view input = m_stream.text;
    const char* const text = input.data();
    const std::size_t start = m_nextKey.end + 1;
    const std::size_t lineEnd = valueLines::findDelimiter(input, start, true);
    std::size_t next = lineEnd;
    while (next < input.size() && isWhitespace(text[next])) ++next;
    KeyLine nextKey;
    if (next < input.size()) {
        // Blanks after the word cannot be part of a keyword, so the word is looked up untrimmed.
        const std::size_t wordEnd = valueLines::findDelimiter(input, next, false);
        const int code = keywordCode({text + next, wordEnd - next}, endOf(input));
        if (code == TokWord) return false;
        nextKey = keyLine(input, next, wordEnd, code);
    }
    value = valueLines::trimBlanks({text + start, lineEnd - start});
    m_nextKey = nextKey;
    m_stream.position = next;
    m_stream.eof = next == input.size();
    return true;
}

void mtGScanner::skipKey() {
    m_stream.position = m_nextKey.end + 1;
    m_bValueMode = true;
}

bool mtGScanner::pushBack(int code, const std::string& text) {
    m_pending.push_back({text, code});
    return true;
}

bool mtGScanner::isEOF() { return m_pending.empty() && m_delimiter == 0 && m_stream.eof; }

bool mtGScanner::isBad() { return false; }

std::size_t mtGScanner::remainingInput() const { return m_stream.text.size() - m_stream.position; }
