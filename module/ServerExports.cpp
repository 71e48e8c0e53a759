#include "module/ServerExports.h"

#include <new>
#include <string>

#include "inproc/ModuleLock.h"
#include "module/ClassTable.h"
#include "module/ModuleState.h"
#include "module/TypeLibraryRegistration.h"

HRESULT canUnloadModule() { return moduleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT registerServer() {
    try {
        const std::string path = moduleFileName();
        if (path.empty()) return SELFREG_E_CLASS;
        if (const HRESULT result = registerClasses(path); FAILED(result)) return result;
        return registerTypeLibrary(path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT unregisterServer() {
    try {
        unregisterClasses();
        if (const std::string path = moduleFileName(); !path.empty()) unregisterTypeLibrary(path);
    } catch (const std::bad_alloc&) {
        // Whatever could be removed is gone; the rest stays, as with any other failure.
    }
    return S_OK;
}
