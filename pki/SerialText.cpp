#include "SerialText.h"

#include <algorithm>
#include <cctype>

std::string normalSerial(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::size_t sign = text.starts_with('-') ? 1 : 0;
    const std::size_t digits = text.find_first_not_of('0', sign);
    text.erase(sign, (digits == std::string::npos ? text.size() - 1 : digits) - sign);
    return text;
}
