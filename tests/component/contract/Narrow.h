// Contract names are ASCII; gtest messages want them as narrow strings.
#pragma once

#include <string>
#include <string_view>

inline std::string narrow(std::u16string_view text) { return {text.begin(), text.end()}; }
