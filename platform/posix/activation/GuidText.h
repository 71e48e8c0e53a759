// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", both ways.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <velcom/posix/comtypes.h>

namespace velcom::detail {

// Characters in the text form, without the terminating zero.
inline constexpr std::size_t kGuidTextLength = 38;

// Hex digits in either case; anything else, including text after the closing brace, is refused.
std::optional<GUID> parseGuid(std::u16string_view text);
// Upper-case hex, the form the registry keys are written in.
std::string formatGuid(REFGUID guid);

}  // namespace velcom::detail
