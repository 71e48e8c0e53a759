// Comparisons of narrow texts that ignore case, for keywords, markers, type and parameter names.
// Characters are upper-cased one by one as signed values, so bytes above 0x7F are left as they
// are and sort before every ASCII character.
#pragma once

#include <cstddef>
#include <string_view>

// 0 when both texts have the same length and match ignoring case, non-zero otherwise.
int equalsNoCase(std::string_view a, std::string_view b);
// 0 when the first n characters match; when either text is shorter than n, equalsNoCase decides.
int equalsNoCaseN(std::string_view a, std::string_view b, std::size_t n);
// True when a sorts before b ignoring case; a proper prefix sorts first.
bool lessNoCase(std::string_view a, std::string_view b);
