// Lists crossing COM calls: strings as VT_ARRAY|VT_BSTR, bytes as VT_ARRAY|VT_UI1, identifiers as
// VT_ARRAY|VT_I4. Narrow texts are in the ANSI code page.
#pragma once

#include <string>
#include <vector>

#include <velcom/com.h>

// A one-dimensional array from index 0, with `last` after the strings when given. E_INVALIDARG
// for a null result.
HRESULT stringsToVariant(const std::vector<std::string>& strings, VARIANT* result,
                         const char* last = nullptr);
// VT_EMPTY and VT_ERROR give no strings, VT_ARRAY|VT_BSTR one per element of its first
// dimension; any other type E_INVALIDARG.
HRESULT variantToStrings(const VARIANT& value, std::vector<std::string>* result);
// The bytes of VT_ARRAY|VT_UI1; VT_EMPTY and VT_ERROR give an empty text; other types
// E_INVALIDARG; a null result E_FAIL.
HRESULT variantToString(const VARIANT& value, std::string* result);
// A one-dimensional array from index 0. E_INVALIDARG for a null result.
HRESULT longsToVariant(const std::vector<long>& values, VARIANT* result);
