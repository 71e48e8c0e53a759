// The automation values the component hands out and takes: texts as BSTRs, bytes as
// VT_ARRAY|VT_UI1, lists of texts as VT_ARRAY|VT_BSTR, lists of identifiers as VT_ARRAY|VT_I4.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <velcom/com.h>

BSTR newText(const std::string& text);
void putText(VARIANT* result, const std::string& text);
void putBytes(VARIANT* result, const std::string& bytes);
void putTexts(VARIANT* result, const std::vector<std::string>& texts);
// The texts of a VT_ARRAY|VT_BSTR (also by reference) or of a single VT_BSTR; nothing for an
// omitted or empty argument.
std::vector<std::string> textsOf(const VARIANT& value);
// The numbers of a VT_ARRAY of VT_I4 or VT_VARIANT holding numbers, or of a single number.
std::vector<std::int64_t> numbersOf(const VARIANT& value);
// The bytes of a VT_ARRAY|VT_UI1 (also by reference).
std::string bytesOf(const VARIANT& value);
