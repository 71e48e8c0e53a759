// The type library is the module's resource TYPELIB 1, or else a .tlb file beside the module;
// the system registers it, and UnRegisterTypeLib (missing from old oleaut32 versions) is looked up
// when it is needed.
#include <string>

#include "module/TypeLibraryPaths.h"
#include "module/TypeLibraryRegistration.h"

namespace {

using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

// The library from the module itself, else from the .tlb beside it; loadedFrom tells which.
HRESULT loadTypeLibrary(const std::string& modulePath, ITypeLib** library,
                        std::string& loadedFrom) {
    loadedFrom = modulePath;
    HRESULT result = LoadTypeLibEx(wide(loadedFrom).c_str(), REGKIND_NONE, library);
    if (SUCCEEDED(result)) return result;
    loadedFrom = typeLibraryFileBeside(modulePath);
    return LoadTypeLibEx(wide(loadedFrom).c_str(), REGKIND_NONE, library);
}

// Unloads the library on every path.
class SystemLibrary {
public:
    explicit SystemLibrary(const char* name) : m_hModule(LoadLibraryA(name)) {}
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;
    ~SystemLibrary() {
        if (m_hModule != nullptr) FreeLibrary(m_hModule);
    }

    template <class Function>
    Function function(const char* name) const {
        if (m_hModule == nullptr) return nullptr;
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_hModule, name)));
    }

private:
    HMODULE m_hModule;
};

}  // namespace

HRESULT registerTypeLibrary(const std::string& modulePath) {
    velcom::ComPtr<ITypeLib> library;
    std::string path;
    if (const HRESULT result = loadTypeLibrary(modulePath, library.put(), path); FAILED(result))
        return result;
    std::wstring location = wide(path);
    std::wstring helpDirectory = wide(helpDirectoryOf(path));
    return RegisterTypeLib(library.get(), location.data(),
                           helpDirectory.empty() ? nullptr : helpDirectory.data());
}

HRESULT unregisterTypeLibrary(const std::string& modulePath) {
    velcom::ComPtr<ITypeLib> library;
    std::string path;
    if (const HRESULT result = loadTypeLibrary(modulePath, library.put(), path); FAILED(result))
        return result;
    TLIBATTR* attributes = nullptr;
    if (const HRESULT result = library->GetLibAttr(&attributes); FAILED(result)) return result;
    const GUID libid = attributes->guid;
    const WORD major = attributes->wMajorVerNum;
    const WORD minor = attributes->wMinorVerNum;
    const LCID lcid = attributes->lcid;
    const SYSKIND kind = attributes->syskind;
    library->ReleaseTLibAttr(attributes);

    const SystemLibrary automation("oleaut32.dll");
    const auto unregister = automation.function<UnRegisterTypeLibFunction>("UnRegisterTypeLib");
    return unregister != nullptr ? unregister(libid, major, minor, lcid, kind) : S_OK;
}
