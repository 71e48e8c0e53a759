#include "TokenClass.h"

#include <string_view>

#include "markup/Tokens.h"

namespace {

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWithNoCase(const std::string& text, std::string_view stem) {
    if (text.size() < stem.size()) return false;
    for (std::size_t i = 0; i < stem.size(); ++i)
        if (upperAscii(text[i]) != upperAscii(stem[i])) return false;
    return true;
}

}  // namespace

int expectedClassOf(int givenCode, const std::string& text) {
    if (givenCode == TokText) return TokText;
    for (const KeywordEntry& keyword : kKeywords)
        if (startsWithNoCase(text, std::string_view(keyword.text, keyword.length)))
            return keyword.code;
    return TokWord;
}
