// Breaks a long Base64 value into the lines of a markup value. The component's reader ends a
// value at any continuation line that begins with one of its keywords ("url", "Type", "VALUE" …,
// in any letter case), so no line after the first may begin with one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ca {

inline constexpr std::size_t kValueLineLength = 64;

// True when a line beginning with `text` would be read as a key rather than as more value.
bool beginsWithKeyword(std::string_view text);

// Lines of at most kValueLineLength characters; a break moves earlier wherever the next line
// would begin with a keyword. Shorter lines keep PEM readers content, longer ones would not.
std::vector<std::string> wrapValue(std::string_view text);

}  // namespace ca
