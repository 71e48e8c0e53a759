#include "inproc/ModuleFile.h"

HMODULE moduleContaining(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module))
        return nullptr;
    return module;
}

std::string fileNameOf(HMODULE module) {
    // Paths may be longer than MAX_PATH; grow until the name fits.
    for (DWORD size = 260; size <= 65536; size *= 2) {
        std::string name(size, '\0');
        const DWORD length = GetModuleFileNameA(module, name.data(), size);
        if (length == 0) return std::string();
        if (length < size) {
            name.resize(length);
            return name;
        }
    }
    return std::string();
}
