#include "Utility/Format.h"

#include <cstdio>

std::string formatBounded(const char* format, va_list args) {
    char buffer[kFormatBufferSize] = {};
    std::vsnprintf(buffer, sizeof buffer, format, args);
    return std::string(buffer);
}

std::string formatBoundedText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatBounded(format, args);
    va_end(args);
    return text;
}
