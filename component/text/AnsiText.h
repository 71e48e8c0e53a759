// Conversions between the component's narrow texts (the system's ANSI code page; UTF-8 on POSIX)
// and automation strings.
#pragma once

#include <string>
#include <string_view>

#include <velcom/com.h>

// A null text gives a null BSTR. Raises _com_error(E_OUTOFMEMORY) when memory runs out.
velcom::Bstr toBstr(const char* text);
velcom::Bstr toBstr(const std::string& text);
// Converts text into target, writing over target's string when it is as long as the text, which
// spares an allocation for each of a run of lines of one length.
// When target was last given a text beginning with the same `unchanged` ASCII characters, only
// the rest is written.
void assignBstr(velcom::Bstr& target, std::string_view text, std::size_t unchanged = 0);
// A null BSTR gives an empty text.
std::string toAnsi(const OLECHAR* text, UINT length);
std::string toAnsi(BSTR text);
std::string toAnsi(std::u16string_view text);
