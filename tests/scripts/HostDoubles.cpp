#include "HostDoubles.h"

#include "support/DispatchStub.h"

namespace {

class SilentBackChannel final : public CountedDouble<IvelBackChannel> {
public:
    STDMETHODIMP get_lTraceLevel(LONG* level) override { return *level = 0, S_OK; }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return S_OK;
    }
    STDMETHODIMP Info(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG, BSTR) override { return S_OK; }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
};

// The page transport never draws random numbers.
class IdleRandom final : public CountedDouble<IvelRand> {
public:
    VEL_FOR_EACH(VEL_NOT_IMPLEMENTED, (Init, IvelBackChannel*, BSTR, VARIANT*),
                 (Get, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
};

template <class Double>
HRESULT create(IUnknown* outer, REFIID riid, void** object) {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return make<Double>()->QueryInterface(riid, object);
}

}  // namespace

HRESULT createSilentBackChannel(IUnknown* outer, REFIID riid, void** object) {
    return create<SilentBackChannel>(outer, riid, object);
}
HRESULT createIdleRandom(IUnknown* outer, REFIID riid, void** object) {
    return create<IdleRandom>(outer, riid, object);
}
