// What every automation test uses: the runtime, readable strings, VARIANT values as expressions.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <velcom/com.h>

#include "support/OleText.h"

// A VARIANT of the type with one field set, e.g. VALUE(VT_I4, lVal, 5), owning what it holds.
// clang-format off
#define VALUE(type, field, ...) [&] { VARIANT v; v.vt = type; v.field = __VA_ARGS__; return v; }()
// clang-format on

inline VARIANT N(LONG value) { return VALUE(VT_I4, lVal, value); }
inline VARIANT T(const OLECHAR* value) { return VALUE(VT_BSTR, bstrVal, SysAllocString(value)); }

inline std::u16string toWide(const std::string& text) {
    const auto size = static_cast<int>(text.size());
    std::u16string wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0), u'\0');
    const auto to = reinterpret_cast<LPWSTR>(wide.data());
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, to, static_cast<int>(wide.size()));
    return wide;
}
inline std::string toNarrow(const std::u16string& wide) {
    const auto from = reinterpret_cast<LPCWSTR>(wide.data());
    const auto size = static_cast<int>(wide.size());
    std::string text(WideCharToMultiByte(CP_UTF8, 0, from, size, nullptr, 0, nullptr, nullptr),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, from, size, text.data(), static_cast<int>(text.size()), nullptr,
                        nullptr);
    return text;
}

// A value as "I4 42", "BOOL -1", "BSTR text" (and so on), or "" when empty.
inline std::string shown(const VARIANT& value) {
    if (value.vt == VT_EMPTY) return "";
    if (value.vt == VT_I2) return "I2 " + std::to_string(value.iVal);
    if (value.vt == VT_I4) return "I4 " + std::to_string(value.lVal);
    if (value.vt == VT_BOOL) return "BOOL " + std::to_string(value.boolVal);
    if (value.vt == VT_BSTR) return "BSTR " + toNarrow(textOf(value.bstrVal));
    return "type " + std::to_string(value.vt);
}
