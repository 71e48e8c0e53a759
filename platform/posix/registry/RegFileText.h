// The registry file's text, in the format regedit exports and imports:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\Key\Sub]
//   @="default value"
//   "name"="string with \\ and \" escaped"
//   "count"=dword:0000000a
//   "raw"=hex:01,02,03
//   "path"=hex(2):25,00,41,00,00,00
//
// REG_SZ values are written as quoted strings when their data is a string with its terminating
// NUL; everything else as hex with the type, string types (hex(1), hex(2), hex(7)) as UTF-16LE
// bytes as Windows exports them. The output is sorted, so it does not depend on the order of the
// changes, and uses LF line endings. Reading also accepts CRLF, a UTF-8 byte order mark, comment
// lines starting with ';', and hex data continued over lines ending in a backslash.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Hive.h"

namespace velcom::registry {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";

// An empty text is an empty registry. None when the text is not a registry file of the format
// above with only HKEY_CLASSES_ROOT in it; a deletion ("[-Key]", "name"=-) makes it a change
// script, not a registry, and is refused too.
std::optional<Hive> parseRegFile(std::string_view text);

// None when a string value (REG_SZ not in quotes, REG_EXPAND_SZ, REG_MULTI_SZ) is not UTF-8 and
// so has no UTF-16 form to write.
std::optional<std::string> formatRegFile(const Hive& hive);

}  // namespace velcom::registry
