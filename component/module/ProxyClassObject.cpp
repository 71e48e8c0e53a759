#include "module/ProxyClassObject.h"

#include <new>

#include "module/ModuleLock.h"
#include "proxy/velTesseraProxy.h"

HRESULT CvelTesseraProxyClassObject::create(IClassFactory** classObject) {
    if (classObject == nullptr) return E_POINTER;
    *classObject = nullptr;
    auto* created = new (std::nothrow) CvelTesseraProxyClassObject();
    if (created == nullptr) return E_OUTOFMEMORY;
    return created->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(classObject));
}

STDMETHODIMP CvelTesseraProxyClassObject::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CvelTesseraProxyClassObject::AddRef() {
    const ULONG references = m_lReferences.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (references == 2) lockModule();
    return references;
}

STDMETHODIMP_(ULONG) CvelTesseraProxyClassObject::Release() {
    const ULONG references = m_lReferences.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (references == 0)
        delete this;
    else if (references == 1)
        unlockModule();
    return references;
}

STDMETHODIMP CvelTesseraProxyClassObject::CreateInstance(IUnknown* outer, REFIID riid,
                                                         void** object) {
    return CvelTesseraProxy::create(outer, riid, object);
}

STDMETHODIMP CvelTesseraProxyClassObject::LockServer(BOOL lock) {
    if (lock)
        lockModule();
    else
        unlockModule();
    return S_OK;
}
