// The one header component code includes for COM and OLE automation. On Windows it brings the
// system's headers; elsewhere velcom's own implementation with the same names and semantics.
// Either way it adds the pieces mingw lacks (_com_error and its raising functions) and the RAII
// helpers every component uses.
#pragma once

#include <velcom/SystemApi.h>

#include <velcom/ComError.h>
#include <velcom/ComPtr.h>
#include <velcom/Dispatch.h>
#include <velcom/InterfaceId.h>
#include <velcom/OwnedTypes.h>
