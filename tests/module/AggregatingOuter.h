// A controlling object that aggregates a component object: it answers IUnknown itself and passes
// every other query to the inner object's non-delegating IUnknown, which it owns.
#pragma once

#include <velcom/com.h>

class AggregatingOuter final : public IUnknown {
public:
    // A new outer object with one reference.
    static velcom::ComPtr<AggregatingOuter> create() {
        return velcom::ComPtr<AggregatingOuter>(new AggregatingOuter());
    }

    // Makes the inner object with create(outer, IID_IUnknown, result) and keeps it.
    template <class Create>
    HRESULT aggregate(Create create) {
        return create(static_cast<IUnknown*>(this), IID_IUnknown, m_inner.putVoid());
    }
    IUnknown* inner() const { return m_inner.get(); }
    ULONG references() const { return m_references; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (m_inner) return m_inner->QueryInterface(riid, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

private:
    AggregatingOuter() = default;
    ~AggregatingOuter() = default;

    ULONG m_references = 0;
    velcom::ComPtr<IUnknown> m_inner;
};
