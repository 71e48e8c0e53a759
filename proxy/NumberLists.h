// The server's lists of numbers: "+"-separated tokens, such as open request references or serial
// numbers.
#pragma once

#include <string>

// Whether number, without its leading "0" characters, equals text ignoring case (text keeps its
// zeros). A number of only zeros, or an empty one, raises std::out_of_range.
bool equalsIgnoringLeadingZeros(const std::string& number, const std::string& text);
// The 0-based index of the first token of list that equals number as above, or -1.
int indexInList(const std::string& number, const std::string& list);
// The 0-based index of the first token of list that is exactly "0", or -1.
int indexOfZero(const std::string& list);
