// The ground of the component's companion objects: one dual interface served from its dispatch
// table, ISupportErrorInfo, a single-threaded reference count (the objects are apartment-threaded)
// and a module lock for each live object. A query for Derived::kImplementationId hands out the
// object itself, so that the component recognises its own objects among those a host passes.
#pragma once

#include <new>
#include <span>
#include <utility>

#include <velcom/com.h>

#include "PkiFailure.h"
#include "inproc/ModuleLock.h"

template <class Derived, class Interface>
class PkiObject : public velcom::DispatchImpl<Interface>, public ISupportErrorInfo {
public:
    // A new object with one reference, or a failure without memory.
    template <class... Arguments>
    static velcom::ComPtr<Derived> make(Arguments&&... arguments) {
        Derived* object = new (std::nothrow) Derived(std::forward<Arguments>(arguments)...);
        if (object == nullptr) failWith(E_OUTOFMEMORY, "out of memory");
        return velcom::ComPtr<Derived>(object);
    }

    // The component's own object behind the pointer, or null for a foreign one.
    static velcom::ComPtr<Derived> own(IUnknown* object) {
        void* self = nullptr;
        if (object == nullptr || FAILED(object->QueryInterface(Derived::kImplementationId, &self)))
            return nullptr;
        return velcom::ComPtr<Derived>::attach(static_cast<Derived*>(self));
    }

    // The object as its interface, with a reference for the caller.
    Interface* handOut() {
        AddRef();
        return this;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, velcom::uuidOf<Interface>())) {
            *object = static_cast<Interface*>(this);
        } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else if (IsEqualIID(riid, Derived::kImplementationId)) {
            *object = static_cast<Derived*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_lReferences; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG remaining = --m_lReferences;
        if (remaining == 0) delete static_cast<Derived*>(this);
        return remaining;
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsEqualIID(riid, velcom::uuidOf<Interface>()) ? S_OK : S_FALSE;
    }

protected:
    explicit PkiObject(std::span<const velcom::DispatchMember> members)
        : velcom::DispatchImpl<Interface>(members) {
        lockModule();
    }
    virtual ~PkiObject() { unlockModule(); }

    static const IID& interfaceId() { return velcom::uuidOf<Interface>(); }

private:
    ULONG m_lReferences = 0;
};
