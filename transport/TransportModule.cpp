#include "TransportModule.h"

#include <mutex>
#include <new>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

#include "TransportRegistration.h"
#include "inproc/ClassObject.h"
#include "inproc/ModuleFile.h"
#include "inproc/ModuleLock.h"
#include "velTransport.h"

namespace {

using TransportClassObject = ClassObject<&CvelTransport::create>;

constinit HMODULE g_module = nullptr;
// The class object is made on the first request and kept until the module is unloaded; its kept
// reference does not hold the module. (Not constinit: mingw's std::mutex has no constant
// initialiser; the C run time constructs it before DllMain runs.)
std::mutex g_classObjectLock;
constinit IClassFactory* g_classObject = nullptr;

}  // namespace

HRESULT getTransportClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_velTransport)) return CLASS_E_CLASSNOTAVAILABLE;
    const std::lock_guard lock(g_classObjectLock);
    if (g_classObject == nullptr) {
        const HRESULT created = TransportClassObject::create(&g_classObject);
        if (FAILED(created)) return created;
    }
    return g_classObject->QueryInterface(riid, object);
}

HRESULT canUnloadTransportModule() { return moduleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT registerTransportModule() {
    try {
        const std::string path = fileNameOf(g_module);
        if (path.empty()) return SELFREG_E_CLASS;
        return registerScript(HKEY_CLASSES_ROOT, transportRegistryScript(), path);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT unregisterTransportModule() {
    try {
        unregisterScript(HKEY_CLASSES_ROOT, transportRegistryScript());
    } catch (const std::bad_alloc&) {
        // Whatever could be removed is gone; the rest stays, as with any other failure.
    }
    return S_OK;
}

void startTransportModule(HMODULE self) { g_module = self; }

void stopTransportModule() {
    const std::lock_guard lock(g_classObjectLock);
    if (g_classObject != nullptr) g_classObject->Release();
    g_classObject = nullptr;
    g_module = nullptr;
}
