// Finding a class object, in the class table or through the registry, and creating instances.
#include <string>

#include <velcom/win32.h>

#include <velcom/ComPtr.h>
#include <velcom/posix/objbase.h>

#include "../registry/ClassesRoot.h"
#include "Apartment.h"
#include "ClassTable.h"
#include "GuidText.h"
#include "ModuleCache.h"

namespace {

HRESULT getInprocServerClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (const auto served = velcom::detail::getClassObjectOfLoadedClass(clsid, riid, object))
        return *served;
    const velcom::registry::RegistryVersion read = velcom::registry::registryVersion();
    std::string path;
    const LSTATUS status = velcom::detail::readClassesRootText(
        "CLSID\\" + velcom::detail::formatGuid(clsid) + "\\InprocServer32", path);
    if (status == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    return velcom::detail::getClassObjectFromModule(path, clsid, riid, object, read);
}

}  // namespace

// Only in-process servers are loaded from the registry: there is no service that would start a
// local or remote server, so those contexts find nothing but what the class table holds.
extern "C" HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID /*serverInfo*/,
                                    REFIID riid, LPVOID* object) {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if ((context & CLSCTX_ALL) == 0) return E_INVALIDARG;
    if (!velcom::detail::apartmentEntered()) return CO_E_NOTINITIALIZED;

    if (const auto registered = velcom::detail::findRegisteredClassObject(clsid, context))
        return registered->QueryInterface(riid, object);
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;

    const HRESULT result = getInprocServerClassObject(clsid, riid, object);
    // A failing module may have written to the out parameter anyway.
    if (FAILED(result)) *object = nullptr;
    return result;
}

extern "C" HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                                    LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    velcom::ComPtr<IClassFactory> factory;
    if (const HRESULT result =
            CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.putVoid());
        FAILED(result))
        return result;
    // Whether the class can be aggregated is the factory's decision.
    const HRESULT result = factory->CreateInstance(outer, riid, object);
    if (FAILED(result)) *object = nullptr;
    return result;
}
