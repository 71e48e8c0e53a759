// Windows keeps string values in UTF-16 and writes them to .reg files that way as hex(2) and
// hex(7) data; the narrow API hands out UTF-8. Both directions are strict, so that converting
// there and back gives the same bytes and nothing is silently replaced.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include <velcom/win32.h>

namespace velcom::registry {

// None when the bytes are not well-formed UTF-8.
std::optional<std::vector<BYTE>> utf8ToUtf16le(std::span<const BYTE> utf8);

// None for an odd number of bytes or an unpaired surrogate.
std::optional<std::vector<BYTE>> utf16leToUtf8(std::span<const BYTE> utf16);

}  // namespace velcom::registry
