// The answer pages the markup benchmarks parse, with what a correct parse must find in them.
#pragma once

#include <cstddef>
#include <string>

// A page of a few KB as the server sends it after a pick-up: HTML around a Return block of ten
// parameters, one of them a short PKCS#7 value over several lines.
struct TypicalPage {
    std::string text;
    std::size_t parameters;
};
const TypicalPage& typicalPage();

// A page of exactly `size` bytes whose Return block carries one PEM value in lines of 64 Base64
// characters. The characters are drawn from a fixed seed, and a line that would begin with a key
// is drawn again, since it would end the value.
struct LargePemPage {
    std::string text;
    std::size_t valueSize;          // the value as parsed: lines joined with CR LF
    std::size_t continuationLines;  // lines after the first one of the value
};
LargePemPage makeLargePemPage(std::size_t size);
