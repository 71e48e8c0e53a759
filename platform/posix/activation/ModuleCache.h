// The in-process server modules loaded for activation, one handle per path, kept until
// CoFreeUnusedLibraries finds them unused.
#pragma once

#include <string>

#include <velcom/posix/comtypes.h>

namespace velcom::detail {

// Loads the module at path unless it is loaded already and asks its DllGetClassObject.
// CO_E_DLLNOTFOUND when it cannot be loaded, CO_E_ERRORINDLL when it lacks the export.
HRESULT getClassObjectFromModule(const std::string& path, REFCLSID clsid, REFIID riid,
                                 void** object);

}  // namespace velcom::detail
