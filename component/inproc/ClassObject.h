// The class object of a class that a module's DllGetClassObject hands out. Any thread may reach it,
// so its reference count is interlocked. The module's class table keeps one reference, which does
// not hold the module; every further one does, so the module stays loaded while a host holds the
// class object.
#pragma once

#include <atomic>
#include <new>

#include <velcom/com.h>

#include "inproc/ModuleLock.h"

// Create makes an instance of the class: aggregated when outer is given, queried for riid.
template <HRESULT (*Create)(IUnknown* outer, REFIID riid, void** object)>
class ClassObject final : public IClassFactory {
public:
    // A new class object with the one reference its creator keeps; E_OUTOFMEMORY without memory.
    static HRESULT create(IClassFactory** classObject) {
        if (classObject == nullptr) return E_POINTER;
        *classObject = nullptr;
        auto* created = new (std::nothrow) ClassObject();
        if (created == nullptr) return E_OUTOFMEMORY;
        return created->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(classObject));
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }

    STDMETHODIMP_(ULONG) AddRef() override {
        const ULONG references = m_lReferences.fetch_add(1, std::memory_order_acq_rel) + 1;
        if (references == 2) lockModule();
        return references;
    }

    STDMETHODIMP_(ULONG) Release() override {
        const ULONG references = m_lReferences.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (references == 0)
            delete this;
        else if (references == 1)
            unlockModule();
        return references;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        return Create(outer, riid, object);
    }

    // One module lock more for TRUE, one less for FALSE.
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            lockModule();
        else
            unlockModule();
        return S_OK;
    }

private:
    ClassObject() = default;
    ~ClassObject() = default;

    std::atomic<ULONG> m_lReferences{0};
};
