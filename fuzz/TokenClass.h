// What the scanner answers for a token given back to it: a text is taken as it is and classified
// again, unless it was given back as a value's text. Kept apart from the scanner's own code, so
// that the fuzzer checks the rule instead of repeating it.
#pragma once

#include <string>

int expectedClassOf(int givenCode, const std::string& text);
