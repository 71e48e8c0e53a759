// Activation: apartments, the class table, creation through the registry, GUID texts.
#pragma once

#include <velcom/posix/oaidl.h>
#include <velcom/posix/oleauto.h>

extern "C" {

// Per-thread bookkeeping: the first call on a thread returns S_OK, later ones S_FALSE; a call with
// the other concurrency model returns RPC_E_CHANGED_MODE. Every successful call needs its
// CoUninitialize.
VELCOM_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
VELCOM_API HRESULT CoInitialize(LPVOID reserved);
VELCOM_API void CoUninitialize();

// Class objects registered here are found before the registry is asked.
VELCOM_API HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context,
                                         DWORD flags, LPDWORD cookie);
VELCOM_API HRESULT CoRevokeClassObject(DWORD cookie);
// Otherwise HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 names a module, which is loaded with
// dlopen and asked through its exported DllGetClassObject. While that module stays loaded, the
// class is served by it again, and a ProgID that named the class names it again, without the
// registry being read, as a class cache keeps them; a change this process makes to the registry,
// or another registry file, drops what was kept, another process's change shows once the module
// is unloaded.
VELCOM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID serverInfo, REFIID riid,
                                    LPVOID* object);
VELCOM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                                    LPVOID* object);
// Unloads the modules whose DllCanUnloadNow answers S_OK.
VELCOM_API void CoFreeUnusedLibraries();

VELCOM_API HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
VELCOM_API HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
VELCOM_API HRESULT IIDFromString(LPCOLESTR text, IID* iid);
// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (39 characters with the zero); returns that
// count, or 0 when the buffer is too small.
VELCOM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);

// Asks the object's IRunnableObject to run; objects without one are running already.
VELCOM_API HRESULT OleRun(IUnknown* object);

VELCOM_API LPVOID CoTaskMemAlloc(std::size_t size);
VELCOM_API void CoTaskMemFree(LPVOID memory);
}

// The exports an in-process server provides.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT (*)();
