// The class object of CvelTesseraProxy. Any thread may reach it through DllGetClassObject, so
// its reference count is interlocked. The class table keeps one reference, which does not hold
// the module; every further one does, so the module stays loaded while a host holds the class
// object.
#pragma once

#include <atomic>

#include <velcom/com.h>

class CvelTesseraProxyClassObject final : public IClassFactory {
public:
    // A new class object with the one reference its creator keeps; E_OUTOFMEMORY without memory.
    static HRESULT create(IClassFactory** classObject);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IClassFactory: a proxy, aggregated when outer is given (then riid must be IID_IUnknown).
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    // One module lock more for TRUE, one less for FALSE.
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    CvelTesseraProxyClassObject() = default;
    ~CvelTesseraProxyClassObject() = default;

    std::atomic<ULONG> m_lReferences{0};
};
