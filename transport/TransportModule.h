// What the library's four exports do, kept apart from the exports so that tests reach the same
// code: the one class object, the module's path, registration.
#pragma once

#include <velcom/com.h>

HRESULT getTransportClassObject(REFCLSID clsid, REFIID riid, void** object);
HRESULT canUnloadTransportModule();
HRESULT registerTransportModule();
HRESULT unregisterTransportModule();

// Called by the loader's hooks: the module's handle, and the release of the kept class object.
void startTransportModule(HMODULE self);
void stopTransportModule();
