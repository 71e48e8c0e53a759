// Class identifiers from ProgIDs: HKEY_CLASSES_ROOT\<ProgID>\CLSID.
#include <optional>
#include <string>

#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

#include "../registry/ClassesRoot.h"
#include "GuidText.h"
#include "ModuleCache.h"

namespace {

std::optional<std::string> toUtf8(LPCOLESTR text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::string result(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, result.data(), size, nullptr,
                            nullptr) != size)
        return std::nullopt;
    result.pop_back();
    return result;
}

// A backslash would reach into another key of HKEY_CLASSES_ROOT instead of naming one.
bool isProgIdName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

HRESULT readClassOf(const velcom::detail::ClassesRootSnapshot& classes, const std::string& progId,
                    CLSID& clsid) {
    std::string text;
    const LSTATUS status = classes.readText(progId + "\\CLSID", text);
    if (status == ERROR_FILE_NOT_FOUND) return CO_E_CLASSSTRING;
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    // Bytes outside ASCII cannot be part of a GUID; widened one by one they are simply refused.
    std::u16string wide;
    for (const char byte : text) wide.push_back(static_cast<unsigned char>(byte));
    const auto guid = velcom::detail::parseGuid(wide);
    if (!guid) return CO_E_CLASSSTRING;
    clsid = *guid;
    return S_OK;
}

HRESULT readClassOfProgId(const std::string& name, CLSID& clsid) {
    velcom::detail::ClassesRootSnapshot classes;
    if (classes.take() != ERROR_SUCCESS) return REGDB_E_READREGDB;
    // A version-independent ProgID names its current version under CurVer. Only that one step is
    // taken, so CurVer entries naming each other cannot send the lookup round in circles.
    std::string current;
    if (classes.readText(name + "\\CurVer", current) == ERROR_SUCCESS && isProgIdName(current) &&
        SUCCEEDED(readClassOf(classes, current, clsid)))
        return S_OK;
    return readClassOf(classes, name, clsid);
}

}  // namespace

extern "C" HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    *clsid = GUID_NULL;
    const auto name = toUtf8(progId);
    if (!name || !isProgIdName(*name)) return CO_E_CLASSSTRING;
    if (const auto loaded = velcom::detail::loadedClassOfProgId(*name)) {
        *clsid = *loaded;
        return S_OK;
    }
    const velcom::registry::RegistryVersion read = velcom::registry::registryVersion();
    const HRESULT result = readClassOfProgId(*name, *clsid);
    if (SUCCEEDED(result)) velcom::detail::rememberClassOfProgId(*name, *clsid, read);
    return result;
}
