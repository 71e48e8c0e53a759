// Without a system type library service, the description compiled into the module stands for
// the type library: its entries are written under TypeLib\{LIBID}\<major>.<minor> as the system
// registers a type library file, with the module as the file.
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "inproc/RegistryKey.h"
#include "module/TypeLibraryPaths.h"
#include "module/TypeLibraryRegistration.h"

namespace {

// The type library's platform key, where Windows writes win32 or win64.
constexpr char kPlatform[] = "posix";

HRESULT fromStatus(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

std::string libraryKey() {
    OLECHAR text[39];
    StringFromGUID2(LIBID_VELTESSERACOMMLib, text, 39);
    std::string key = "TypeLib\\";
    // A GUID text is ASCII.
    for (const OLECHAR character : text)
        if (character != 0) key.push_back(static_cast<char>(character));
    return key;
}

std::string versionKey() {
    return std::to_string(VELTESSERACOMMLib_MajorVersion) + "." +
           std::to_string(VELTESSERACOMMLib_MinorVersion);
}

// The locale in hexadecimal without leading zeros, as the system names the key.
std::string localeKey() {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string key;
    LCID locale = VELTESSERACOMMLib_Locale;
    do {
        key.insert(key.begin(), kDigits[locale % 16]);
        locale /= 16;
    } while (locale != 0);
    return key;
}

HRESULT writeDefault(HKEY parent, const std::string& path, const std::string& text) {
    RegistryKey key;
    LSTATUS status = RegistryKey::create(parent, path, key);
    if (status == ERROR_SUCCESS) status = key.setString(std::string(), text);
    return status == ERROR_SUCCESS ? S_OK : fromStatus(status);
}

}  // namespace

HRESULT registerTypeLibrary(const std::string& modulePath) {
    RegistryKey version;
    const LSTATUS status =
        RegistryKey::create(HKEY_CLASSES_ROOT, libraryKey() + "\\" + versionKey(), version);
    if (status != ERROR_SUCCESS) return fromStatus(status);
    const LSTATUS described = version.setString(std::string(), VELTESSERACOMMLib_HelpString);
    if (described != ERROR_SUCCESS) return fromStatus(described);
    HRESULT result = writeDefault(version.get(), "FLAGS", "0");
    if (SUCCEEDED(result))
        result = writeDefault(version.get(), "HELPDIR", helpDirectoryOf(modulePath));
    if (SUCCEEDED(result))
        result = writeDefault(version.get(), localeKey() + "\\" + kPlatform, modulePath);
    return result;
}

HRESULT unregisterTypeLibrary(const std::string&) {
    RegistryKey library;
    if (RegistryKey::open(HKEY_CLASSES_ROOT, libraryKey(), library) != ERROR_SUCCESS) return S_OK;
    const LSTATUS status = deleteKeyTree(library.get(), versionKey());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return fromStatus(status);
    // Other versions of the library keep its key.
    const bool otherVersions = library.hasSubkeys();
    library = RegistryKey();
    if (!otherVersions) RegDeleteKeyA(HKEY_CLASSES_ROOT, libraryKey().c_str());
    return S_OK;
}
