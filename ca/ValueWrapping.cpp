#include "ca/ValueWrapping.h"

#include <algorithm>

#include "Utility/NoCase.h"
#include "markup/Tokens.h"

namespace ca {

bool beginsWithKeyword(std::string_view text) {
    // The reader takes a line's key up to "=", and compares only a keyword's stem.
    const std::string_view word = text.substr(0, text.find('='));
    return std::any_of(std::begin(kKeywords), std::end(kKeywords), [word](const KeywordEntry& row) {
        return row.code != TokNewLine && row.code != TokEquals && word.size() >= row.length &&
               equalsNoCaseN(word, row.text, row.length) == 0;
    });
}

std::vector<std::string> wrapValue(std::string_view text) {
    std::vector<std::string> lines;
    while (text.size() > kValueLineLength) {
        // Two keywords never start one character apart, so a shorter line is always found.
        std::size_t length = kValueLineLength;
        while (length > 1 && beginsWithKeyword(text.substr(length))) --length;
        lines.emplace_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    lines.emplace_back(text);
    return lines;
}

}  // namespace ca
