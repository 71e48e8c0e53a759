// The class objects registered in this process with CoRegisterClassObject.
#pragma once

#include <velcom/ComPtr.h>

namespace velcom::detail {

// The first registration for the class whose context shares a bit with the one asked for, or
// null.
ComPtr<IUnknown> findRegisteredClassObject(REFCLSID clsid, DWORD context);

}  // namespace velcom::detail
