// Base64 as the component writes and reads it.
#pragma once

#include <string>
#include <string_view>

// Base64 in one line, without line breaks; fromBase64 ignores white space and fails on anything
// else that is not Base64.
std::string toBase64(const std::string& bytes);
std::string fromBase64(std::string_view text);
