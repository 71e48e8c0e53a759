// Scans a block while giving tokens back the way the node readers do, and compares every token
// with what a second scanner reads straight through the same block: giving back and reading again
// must never change what the stream yields. The input is both the block and, from its end, the
// choice of steps; the two overlap, which only makes each input mean more.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "markup/Tokens.h"
#include "markup/mtGScanner.h"
#include "tracer/ITracer.h"

namespace {

struct Token {
    int code;
    std::string text;
};

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// What the scanner answers for a token given back to it: a text is taken as it is and classified
// again, unless it was given back as a value's text. Written here rather than taken from the
// scanner, so that the fuzzer checks the rule instead of repeating it.
int expectedClassOf(int givenCode, const std::string& text) {
    if (givenCode == TokText) return TokText;
    for (const KeywordEntry& keyword : kKeywords)
        if (text.size() >= keyword.length &&
            std::equal(keyword.text, keyword.text + keyword.length, text.begin(),
                       [](char a, char b) { return upperAscii(a) == upperAscii(b); }))
            return keyword.code;
    return TokWord;
}

constexpr int kGivenBackCodes[] = {TokNewLine, TokEquals, TokReturn, TokParam, TokValue,
                                   TokAction,  TokWord,   TokText,   TokEnd};

class PushBackRun {
public:
    PushBackRun(std::string_view block, FuzzedDataProvider& steps)
        : m_scanner(block), m_straight(block), m_steps(steps) {}

    void run() {
        while (!finished()) {
            const int step = m_steps.ConsumeIntegralInRange(0, 3);
            if (step == 1)
                undo();
            else if (step == 2)
                giveBackInvented();
            else
                read();
        }
    }

private:
    bool finished() const { return m_expected.empty() && m_straightEnded; }

    void read() {
        Token expected;
        if (m_expected.empty()) {
            expected.code = m_straight.nextToken(expected.text);
            m_straightEnded = expected.code == TokEnd;
        } else {
            expected = std::move(m_expected.back());
            m_expected.pop_back();
        }
        Token got;
        got.code = m_scanner.nextToken(got.text);
        fuzzCheck(got.code == expected.code, "a token read again has the same code");
        fuzzCheck(got.text == expected.text, "a token read again has the same text");
        if (m_expected.empty()) {
            fuzzCheck(m_scanner.remainingInput() == m_straight.remainingInput(),
                      "giving back does not move the stream");
            fuzzCheck(m_scanner.isEOF() == m_straight.isEOF(), "both scanners end together");
        }
        if (got.code == TokEnd) {
            fuzzCheck(got.text.empty(), "the end has no text");
            fuzzCheck(m_expected.empty() && m_scanner.isEOF(), "the end comes after all else");
            return;
        }
        m_lastCode = got.code;
        m_read.push_back(std::move(got));
    }

    // Gives back the last few tokens read, the latest first, as a reader that looked too far
    // ahead does.
    void undo() {
        const std::size_t most = std::min<std::size_t>(m_read.size(), 8);
        if (most == 0) return;
        const std::size_t count = m_steps.ConsumeIntegralInRange<std::size_t>(1, most);
        for (std::size_t i = 0; i < count; ++i) {
            giveBack(m_read.back().code, std::move(m_read.back()));
            m_read.pop_back();
        }
    }

    // Gives back a token that was never read. A value-mode switch of its own would change how the
    // stream is read afterwards, so it is only done where that cannot happen: on top of other
    // given-back tokens, or after a token that left value mode off, and never with a text that
    // classifies as "=".
    void giveBackInvented() {
        if (m_expected.empty() && m_lastCode == TokEquals) return;
        const int code = m_steps.PickValueInArray(kGivenBackCodes);
        std::string text;
        if (m_steps.ConsumeBool()) {
            const KeywordEntry& keyword =
                kKeywords[m_steps.ConsumeIntegralInRange<std::size_t>(0, std::size(kKeywords) - 1)];
            text.assign(keyword.text, keyword.length);
        } else {
            text = m_steps.ConsumeRandomLengthString(32);
        }
        const int expectedCode = expectedClassOf(code, text);
        if (expectedCode == TokEquals) return;
        giveBack(code, {expectedCode, std::move(text)});
    }

    void giveBack(int code, Token expected) {
        fuzzCheck(m_scanner.pushBack(code, expected.text), "giving back succeeds");
        m_expected.push_back(std::move(expected));
        fuzzCheck(!m_scanner.isEOF(), "a given-back token is still to come");
    }

    mtGScanner m_scanner;
    mtGScanner m_straight;
    FuzzedDataProvider& m_steps;
    std::vector<Token> m_read;      // read and not given back, in reading order
    std::vector<Token> m_expected;  // given back, the next one to be read last
    int m_lastCode = TokNewLine;
    bool m_straightEnded = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every word that is no keyword is traced; with nobody listening that is only cost.
    g_lTraceLevel = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    FuzzedDataProvider steps(data, size);
    PushBackRun(block, steps).run();
    return 0;
}
