// Bounded printf-style formatting shared by every text the component composes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Lets the compiler check printf-style calls of our own variadic functions. For member functions
// count the implicit object argument as the first.
#if defined(__GNUC__) || defined(__clang__)
#define VEL_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VEL_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

// Formatted texts go through a buffer of this many characters, the last one for the terminator.
inline constexpr std::size_t kFormatBufferSize = 1024;

// Formats into a zero-filled buffer of kFormatBufferSize characters and returns the text up to
// its first zero: at most 1023 characters, longer results cut silently. format must not be null.
std::string formatBounded(const char* format, va_list args) VEL_PRINTF_FORMAT(1, 0);
std::string formatBoundedText(const char* format, ...) VEL_PRINTF_FORMAT(1, 2);
