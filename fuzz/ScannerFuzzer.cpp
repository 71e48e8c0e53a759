// Scans a block while giving tokens back the way the node readers do, and compares every token
// with what a second scanner reads straight through the same block: giving back and reading again
// must never change what the stream yields. The input is both the block and, from its end, the
// choice of steps; the two overlap, which only makes each input mean more.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
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

struct Run {
    mtGScanner scanner;
    mtGScanner straight;
    FuzzedDataProvider& steps;
    std::vector<Token> read;      // read and not given back, in reading order
    std::vector<Token> expected;  // given back, the next one to be read last
    int lastCode = TokNewLine;
    bool straightEnded = false;
};

// Reads the next token from the scanner and compares it with the one expected: the latest given
// back, or else the next the straight reader finds.
void read(Run& run) {
    Token expected;
    if (run.expected.empty()) {
        expected.code = run.straight.nextToken(expected.text);
        run.straightEnded = expected.code == TokEnd;
    } else {
        expected = std::move(run.expected.back());
        run.expected.pop_back();
    }
    Token got;
    got.code = run.scanner.nextToken(got.text);
    fuzzCheck(got.code == expected.code, "a token read again has the same code");
    fuzzCheck(got.text == expected.text, "a token read again has the same text");
    if (run.expected.empty()) {
        fuzzCheck(run.scanner.remainingInput() == run.straight.remainingInput(),
                  "giving back does not move the stream");
        fuzzCheck(run.scanner.isEOF() == run.straight.isEOF(), "both scanners end together");
    }
    if (got.code == TokEnd) {
        fuzzCheck(got.text.empty(), "the end has no text");
        fuzzCheck(run.expected.empty() && run.scanner.isEOF(), "the end comes after all else");
        return;
    }
    run.lastCode = got.code;
    run.read.push_back(std::move(got));
}

void giveBack(Run& run, int code, Token expected) {
    fuzzCheck(run.scanner.pushBack(code, expected.text), "giving back succeeds");
    run.expected.push_back(std::move(expected));
    fuzzCheck(!run.scanner.isEOF(), "a given-back token is still to come");
}

// Gives back the last few tokens read, the latest first, as a reader that looked too far ahead
// does.
void undo(Run& run) {
    const std::size_t most = std::min<std::size_t>(run.read.size(), 8);
    if (most == 0) return;
    const std::size_t count = run.steps.ConsumeIntegralInRange<std::size_t>(1, most);
    for (std::size_t i = 0; i < count; ++i) {
        giveBack(run, run.read.back().code, std::move(run.read.back()));
        run.read.pop_back();
    }
}

// Gives back a token that was never read. A value-mode switch of its own would change how the
// stream is read afterwards, so it is only done where that cannot happen: on top of other
// given-back tokens, or after a token that left value mode off, and never with a text that
// classifies as "=".
void giveBackInvented(Run& run) {
    if (run.expected.empty() && run.lastCode == TokEquals) return;
    const int code = run.steps.PickValueInArray(kGivenBackCodes);
    std::string text;
    if (run.steps.ConsumeBool()) {
        const KeywordEntry keyword = run.steps.PickValueInArray(kKeywords);
        text.assign(keyword.text, keyword.length);
    } else {
        text = run.steps.ConsumeRandomLengthString(32);
    }
    const int expectedCode = expectedClassOf(code, text);
    if (expectedCode == TokEquals) return;
    giveBack(run, code, {expectedCode, std::move(text)});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every word that is no keyword is traced; with nobody listening that is only cost.
    g_lTraceLevel = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    FuzzedDataProvider steps(data, size);
    Run run{mtGScanner(block), mtGScanner(block), steps, {}, {}};
    while (!run.expected.empty() || !run.straightEnded) {
        const int step = steps.ConsumeIntegralInRange(0, 3);
        if (step == 1)
            undo(run);
        else if (step == 2)
            giveBackInvented(run);
        else
            read(run);
    }
    return 0;
}
