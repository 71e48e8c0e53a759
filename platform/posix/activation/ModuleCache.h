// The in-process server modules loaded for activation, one handle per path, kept until
// CoFreeUnusedLibraries finds them unused, and what the registry said of the classes they serve.
#pragma once

#include <optional>
#include <string>

#include <velcom/posix/comtypes.h>

#include "../registry/RegistryStore.h"

namespace velcom::detail {

// Loads the module at path unless it is loaded already and asks its DllGetClassObject.
// CO_E_DLLNOTFOUND when it cannot be loaded, CO_E_ERRORINDLL when it lacks the export.
// The path is the class's server as the registry of version `read` gave it.
HRESULT getClassObjectFromModule(const std::string& path, REFCLSID clsid, REFIID riid,
                                 void** object, const registry::RegistryVersion& read);

// While the module that served a class stays loaded, the process keeps what the registry said of
// the class, as COM's class cache does: its module and the ProgIDs read for it are not read again.
// A change this process makes to the registry, or another registry file, makes them read anew;
// another process's change to a loaded class is seen once the module is unloaded.

// The class's module asked again when it served the class before and is still loaded; none when
// the registry is to be read.
std::optional<HRESULT> getClassObjectOfLoadedClass(REFCLSID clsid, REFIID riid, void** object);
// The class progId named when it was read, while that class's module is loaded.
std::optional<CLSID> loadedClassOfProgId(const std::string& progId);
void rememberClassOfProgId(const std::string& progId, REFCLSID clsid,
                           const registry::RegistryVersion& read);

}  // namespace velcom::detail
