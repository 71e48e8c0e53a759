// The automation arguments of Post and Get as narrow texts.
#pragma once

#include <string>
#include <vector>

#include <velcom/com.h>

// VT_EMPTY and VT_ERROR (an omitted argument) give no lines; VT_ARRAY|VT_BSTR one per element,
// also by reference. Anything else throws TransportFailure(E_INVALIDARG) naming the argument.
std::vector<std::string> stringsOf(const VARIANT& value, const char* argument);

// The header lines as stringsOf gives them; a line holding CR or LF, which would end it and start
// another header, throws TransportFailure(E_INVALIDARG).
std::vector<std::string> headerLinesOf(const VARIANT& value);
