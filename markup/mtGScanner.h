// The scanner of one markup block, reading the block's text in place.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "errors/ErrorReporting.h"
#include "markup/Scanner.h"
#include "markup/Tokens.h"

struct PendingToken {
    std::string text;
    int code;
};

class mtGScanner : public Scanner {
public:
    // Reads the characters of block, which must outlive the scanner. When page keeps the bytes of
    // block alive, large values hold it and refer to those bytes instead of copying their text.
    explicit mtGScanner(std::string_view block, std::shared_ptr<const void> page = {});

    int nextToken(std::string& text) override;
    bool pushBack(int code, const std::string& text) override;
    bool isEOF() override;
    bool isBad() override;
    std::size_t remainingInput() const override;
    bool takeValue(NodeValue& value) override;
    int peekKey() override;
    void skipKey() override;
    bool takeKeyLine(std::string_view& value) override;

    // Source name and line of the trace for a word that is no keyword.
    static constexpr const char* kSource = "mtGScanner";
    static constexpr int kUnknownTokenLine = 258;
    // From this size on, a value read from a shared page refers to it; smaller ones are copied,
    // so that a short value does not keep a large page alive.
    static constexpr std::size_t kPageValueSize = 64 * 1024;

private:
    // A character source with the end-of-file behaviour of a stream: the end is noticed by the
    // read that finds nothing more, not by reaching the last character.
    struct BlockStream {
        std::string_view text;
        std::size_t position = 0;
        bool eof = false;
    };

    // Collects characters up to a delimiter, from start to before end; false when the input ended
    // first.
    bool collect(std::string& text, std::size_t start, std::size_t end);
    int classify(std::string& text);
    void traceUnknownWord(std::string_view word);

    std::vector<PendingToken> m_pending;  // used as a stack: the last given back is read first
    // The "=" or line end that ended the last text read from the stream, 0 when none: below every
    // token given back since, so it is read when m_pending is empty.
    char m_delimiter = 0;
    // The key line that takeValue stopped at or peekKey saw, as the stream will read it next: where
    // its word begins and ends, the keyword code of the word, and what peekKey answers for it.
    struct KeyLine {
        std::size_t begin = std::string_view::npos;
        std::size_t end = 0;
        int code = TokWord;
        int keyed = TokWord;
    };
    static KeyLine keyLine(std::string_view input, std::size_t begin, std::size_t end, int code);
    // peekKey when the line is not known yet.
    int readKeyLine();
    KeyLine m_nextKey;
    BlockStream m_stream;
    std::shared_ptr<const void> m_pPage;
    bool m_bValueMode = false;
    RepeatedTrace m_unknownWord{kSource, kUnknownTokenLine, "TSR unknown token: "};
};
