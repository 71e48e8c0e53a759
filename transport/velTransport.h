// The transport object: carries the proxy's form submissions to the server over HTTP(S) and hands
// the answer page back through the back channel's Data before Post or Get returns.
#pragma once

#include <memory>

#include <velTesseraComm/velTesseraComm.h>

#include "HttpSession.h"
#include "TransportDispatchTable.h"
#include "TransportReporter.h"

class CvelTransport final : public ISupportErrorInfo, public velcom::DispatchImpl<IvelTransport> {
public:
    // A new transport queried for riid; aggregation is not offered.
    static HRESULT create(IUnknown* outer, REFIID riid, void** object);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // Keeps the back channel and the random generator, replacing those of an earlier Init.
    STDMETHODIMP Init(IvelBackChannel* pBackChannel, IvelRand* pRandGenerator) override;
    // Reserved places in the interface: E_NOTIMPL.
    STDMETHODIMP Reserved1() override;
    STDMETHODIMP Reserved2() override;
    STDMETHODIMP Reserved3() override;
    STDMETHODIMP Reserved4() override;
    STDMETHODIMP Reserved5() override;
    STDMETHODIMP Reserved6() override;
    STDMETHODIMP Post(BSTR bstrOptions, BSTR bstrAddress, VARIANT varHeaders,
                      VARIANT varFields) override;
    STDMETHODIMP Get(BSTR bstrOptions, BSTR bstrAddress, VARIANT varHeaders,
                     VARIANT varFields) override;

private:
    CvelTransport();
    ~CvelTransport();

    HRESULT request(bool bPost, BSTR bstrOptions, BSTR bstrAddress, const VARIANT& varHeaders,
                    const VARIANT& varFields);

    ULONG m_lRefCount = 0;
    TransportReporter m_reporter;
    velcom::ComPtr<IvelRand> m_pRandom;
    // Made on the first request, so that creating a transport cannot fail for the HTTP library's
    // sake.
    std::unique_ptr<HttpSession> m_pSession;
    // A callback during a request may call in again; the handle cannot serve two at once.
    bool m_bBusy = false;
};
