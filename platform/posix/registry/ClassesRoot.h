// Reading the text values activation needs from HKEY_CLASSES_ROOT.
#pragma once

#include <string>

#include <velcom/win32.h>

namespace velcom::detail {

// The default value of HKEY_CLASSES_ROOT\<subKey> as UTF-8 text. ERROR_FILE_NOT_FOUND when the
// key or its default value is missing or holds no text; the registry's own error otherwise.
LSTATUS readClassesRootText(const std::string& subKey, std::string& text);

}  // namespace velcom::detail
