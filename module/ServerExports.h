// What the library's exports DllCanUnloadNow, DllRegisterServer and DllUnregisterServer do
// (DllGetClassObject is the class table's getClassObject). The exports only pass their calls on,
// so that tests reach the same code inside a test program.
#pragma once

#include <velcom/com.h>

// S_OK when nothing holds the module (no object, no class object held from outside, no
// LockServer(TRUE)), otherwise S_FALSE.
HRESULT canUnloadModule();
// The registration step of each class, then the type library's registration. The first failure
// is the result; SELFREG_E_CLASS when the system cannot tell the module's path.
HRESULT registerServer();
// Unregisters the classes and the type library, ignoring every failure: S_OK.
HRESULT unregisterServer();
