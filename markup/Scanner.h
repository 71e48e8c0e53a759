// A source of markup tokens with a stack of tokens given back, so readers can look ahead and undo.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "markup/Tokens.h"

class NodeValue;

class Scanner {
public:
    virtual ~Scanner() = default;
    // The next token's code; its text goes into text (empty at TokEnd).
    virtual int nextToken(std::string& text) = 0;
    // Gives a token back: it is returned again before anything else is read. Always true.
    virtual bool pushBack(int code, const std::string& text) = 0;
    // True when no token is pending and the input has been read to its end.
    virtual bool isEOF() = 0;
    // True when the input is broken; pending tokens do not matter.
    virtual bool isBad() = 0;
    // How many characters of input are left unread, when the scanner knows: lets a reader
    // collecting a huge value allocate once instead of growing step by step.
    virtual std::size_t remainingInput() const { return 0; }
    // Right after the "=" of a key, reads the whole value in one go, when the scanner can: what
    // reading it token by token would give, without a token for each of its lines. False when the
    // caller must read it token by token; always false at the end of input or when broken.
    virtual bool takeValue(NodeValue&) { return false; }
    // The keyword of the next line when nothing is pending and the line holds a key followed by
    // "=", else TokWord; reads nothing. A reader that takes the key then skips its two tokens with
    // skipKey instead of reading them: a typical page is made of such lines.
    virtual int peekKey() { return TokWord; }
    // Reads the key and the "=" that peekKey saw, as nextToken twice would.
    virtual void skipKey() {}
    // Reads the key line that peekKey saw, with its value, when the value is that line alone:
    // its text is what skipKey and takeValue would give, and stays valid as long as the block.
    // False, reading nothing, when the value goes on over further lines.
    virtual bool takeKeyLine(std::string_view&) { return false; }
};
