// Registering the module's type library with the module's path as its location, and removing
// that registration again.
#pragma once

#include <string>

#include <velcom/com.h>

HRESULT registerTypeLibrary(const std::string& modulePath);
HRESULT unregisterTypeLibrary(const std::string& modulePath);
