// Reading automation strings in tests the same way on every platform (OLECHAR is char16_t on
// POSIX and wchar_t on Windows, both 16 bits).
#pragma once

#include <string>

#include <velcom/com.h>

inline std::u16string textOf(const OLECHAR* text, UINT length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string textOf(BSTR text) {
    return text == nullptr ? std::u16string() : textOf(text, SysStringLen(text));
}
