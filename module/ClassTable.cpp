#include "module/ClassTable.h"

#include <atomic>

#include <velTesseraComm/velTesseraComm.h>

#include "Utility/ExceptionBase.h"
#include "module/ModuleState.h"
#include "module/ProxyClassObject.h"
#include "module/ProxyRegistration.h"

namespace {

struct ClassEntry {
    const CLSID& clsid;
    HRESULT (*createClassObject)(IClassFactory** classObject);
    HRESULT (*registerClass)(const std::string& modulePath);
    HRESULT (*unregisterClass)();
    // Set once, under the class-table lock; read without it.
    std::atomic<IClassFactory*> classObject{nullptr};
};

constinit ClassEntry g_classes[] = {
    {CLSID_velTesseraProxy, &CvelTesseraProxyClassObject::create, &registerProxyClass,
     &unregisterProxyClass},
};

HRESULT keptClassObject(ClassEntry& entry, IClassFactory** classObject) {
    *classObject = entry.classObject.load(std::memory_order_acquire);
    if (*classObject != nullptr) return S_OK;
    try {
        const ScopedLock lock(classTableLock());
        *classObject = entry.classObject.load(std::memory_order_acquire);
        if (*classObject != nullptr) return S_OK;
        const HRESULT result = entry.createClassObject(classObject);
        if (SUCCEEDED(result)) entry.classObject.store(*classObject, std::memory_order_release);
        return result;
    } catch (const ExceptionBase& failure) {
        return HRESULT_FROM_WIN32(failure.getCode());
    }
}

}  // namespace

HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    for (ClassEntry& entry : g_classes) {
        if (!IsEqualCLSID(entry.clsid, clsid)) continue;
        IClassFactory* classObject = nullptr;
        if (const HRESULT created = keptClassObject(entry, &classObject); FAILED(created))
            return created;
        const HRESULT result = classObject->QueryInterface(riid, object);
        if (FAILED(result)) return result;
        return *object != nullptr ? result : CLASS_E_CLASSNOTAVAILABLE;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void releaseClassObjects() {
    for (ClassEntry& entry : g_classes)
        if (IClassFactory* classObject = entry.classObject.exchange(nullptr))
            classObject->Release();
}

HRESULT registerClasses(const std::string& modulePath) {
    for (const ClassEntry& entry : g_classes)
        if (const HRESULT result = entry.registerClass(modulePath); FAILED(result)) return result;
    return S_OK;
}

void unregisterClasses() {
    for (const ClassEntry& entry : g_classes) entry.unregisterClass();
}
