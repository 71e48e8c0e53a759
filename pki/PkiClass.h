// The class object's creation function of the PKI class, whichever system's cryptography it is
// built on: aggregation is refused.
#pragma once

#include <velcom/com.h>

HRESULT createPkiObject(IUnknown* outer, REFIID riid, void** object);
