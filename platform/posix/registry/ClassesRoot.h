// Reading the text values activation needs from HKEY_CLASSES_ROOT.
#pragma once

#include <memory>
#include <string>

#include <velcom/win32.h>

namespace velcom::registry {
class Hive;
}

namespace velcom::detail {

// HKEY_CLASSES_ROOT as the registry held it when it was taken: the reads of one lookup that asks
// several keys (a ProgID's CurVer, then its CLSID) cost one look at the registry file.
class ClassesRootSnapshot {
public:
    // The registry's error when it cannot be read.
    LSTATUS take();
    // As readClassesRootText, from the snapshot taken.
    LSTATUS readText(const std::string& subKey, std::string& text) const;

private:
    std::shared_ptr<const registry::Hive> m_hive;
};

// The default value of HKEY_CLASSES_ROOT\<subKey> as UTF-8 text. ERROR_FILE_NOT_FOUND when the
// key or its default value is missing or holds no text; the registry's own error otherwise.
LSTATUS readClassesRootText(const std::string& subKey, std::string& text);

}  // namespace velcom::detail
