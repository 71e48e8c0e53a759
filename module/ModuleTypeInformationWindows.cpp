#include <velTesseraComm/velTesseraComm.h>

#include "Utility/ExceptionBase.h"
#include "module/ModuleState.h"
#include "module/ModuleTypeInformation.h"
#include "module/TerminationList.h"

namespace {

// Loaded once and kept until the module is unloaded.
ITypeLib* g_pTypeLibrary = nullptr;

void releaseTypeLibrary() {
    if (g_pTypeLibrary != nullptr) g_pTypeLibrary->Release();
    g_pTypeLibrary = nullptr;
}

HRESULT loadRegisteredLibrary(LCID lcid, ITypeLib** library) {
    return LoadRegTypeLib(LIBID_VELTESSERACOMMLib, VELTESSERACOMMLib_MajorVersion,
                          VELTESSERACOMMLib_MinorVersion, lcid, library);
}

HRESULT loadTypeLibrary(LCID lcid) {
    ITypeLib* loaded = nullptr;
    HRESULT result = loadRegisteredLibrary(lcid, &loaded);
    // The library is registered for its own locale only; callers in any other get that one.
    if (result == TYPE_E_LIBNOTREGISTERED)
        result = loadRegisteredLibrary(VELTESSERACOMMLib_Locale, &loaded);
    if (FAILED(result)) return result;
    if (!addTermination(&releaseTypeLibrary)) {
        loaded->Release();
        return E_OUTOFMEMORY;
    }
    g_pTypeLibrary = loaded;
    return S_OK;
}

HRESULT moduleTypeInfo(REFIID iid, LCID lcid, ITypeInfo** typeInfo) {
    try {
        const ScopedLock lock(typeInformationLock());
        if (g_pTypeLibrary == nullptr)
            if (const HRESULT loaded = loadTypeLibrary(lcid); FAILED(loaded)) return loaded;
        return g_pTypeLibrary->GetTypeInfoOfGuid(iid, typeInfo);
    } catch (const ExceptionBase& failure) {
        return HRESULT_FROM_WIN32(failure.getCode());
    }
}

}  // namespace

void serveModuleTypeInformation() { velcom::setTypeInfoLookup(&moduleTypeInfo); }
