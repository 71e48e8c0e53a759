// The host's random generator, which the proxy only hands on to its transport: an identity to
// compare with what the transport received (TransportScript::random()). Its methods answer
// E_NOTIMPL.
#pragma once

#include <velTesseraComm/velTesseraComm.h>

#include "support/DispatchStub.h"

class TestRandom final : public CountedDouble<IvelRand> {
public:
    static velcom::ComPtr<TestRandom> create() {
        return velcom::ComPtr<TestRandom>(new TestRandom());
    }

    STDMETHODIMP Init(IvelBackChannel*, BSTR, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Get(VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }

private:
    TestRandom() : CountedDouble({}) {}
};
