// The classes a host can create from outside, with their class objects and registration steps.
// The node classes are not in it: only the proxy creates them, so they have no class object and
// nothing of them is registered.
#pragma once

#include <string>

#include <velcom/com.h>

// The class object for clsid, asked for riid. It is created on the first request (under the
// class-table lock) and kept until releaseClassObjects. E_POINTER for a null object pointer,
// CLASS_E_CLASSNOTAVAILABLE for a class not in the table; otherwise the query's result.
HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** object);

// Releases the class objects kept so far; a later request creates them again.
void releaseClassObjects();

// The registration step of each class in order; the first failure ends the walk with its result.
HRESULT registerClasses(const std::string& modulePath);
// The unregistration step of each class in order, whatever each one's result.
void unregisterClasses();
