#include "ClassesRoot.h"

#include <memory>
#include <type_traits>

namespace velcom::detail {
namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using OpenKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

}  // namespace

LSTATUS readClassesRootText(const std::string& subKey, std::string& text) {
    HKEY opened = nullptr;
    if (const LSTATUS status =
            RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &opened);
        status != ERROR_SUCCESS)
        return status;
    const OpenKey key(opened);

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (const LSTATUS status = RegQueryValueExA(key.get(), nullptr, nullptr, &type, nullptr, &size);
        status != ERROR_SUCCESS)
        return status;
    // REG_EXPAND_SZ is read as written: environment references are not expanded.
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;

    std::string value(size, '\0');
    if (const LSTATUS status = RegQueryValueExA(key.get(), nullptr, nullptr, &type,
                                                reinterpret_cast<LPBYTE>(value.data()), &size);
        status != ERROR_SUCCESS)
        return status;
    // The stored size may or may not count a terminating zero; the text ends at the first one.
    value.resize(size);
    text = value.substr(0, value.find('\0'));
    return ERROR_SUCCESS;
}

}  // namespace velcom::detail
