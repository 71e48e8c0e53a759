// The scanner of one markup block, reading the block's text in place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "markup/Scanner.h"

struct PendingToken {
    std::string text;
    int code;
};

class mtGScanner : public Scanner {
public:
    // Reads the characters of block, which must outlive the scanner.
    explicit mtGScanner(std::string_view block);

    int nextToken(std::string& text) override;
    bool pushBack(int code, const std::string& text) override;
    bool isEOF() override;
    bool isBad() override;
    std::size_t remainingInput() const override;

    // Source name and line of the trace for a word that is no keyword.
    static constexpr const char* kSource = "mtGScanner";
    static constexpr int kUnknownTokenLine = 258;

private:
    // A character source with the end-of-file behaviour of a stream: the end is noticed by the
    // read that finds nothing more, not by reaching the last character.
    struct BlockStream {
        std::string_view text;
        std::size_t position = 0;
        bool eof = false;
    };

    // Collects characters up to a delimiter; false when the input ended first.
    bool collect(std::string& text);
    int classify(std::string& text);

    std::vector<PendingToken> m_pending;  // used as a stack: the last given back is read first
    BlockStream m_stream;
    bool m_bValueMode = false;
};
