// The back channel the proxy hands to its transport. The transport keeps a reference to it for as
// long as it lives, and the proxy keeps the transport: were this the proxy itself, neither could
// ever be released. So it is an object of its own that forwards every callback to the proxy's
// IvelBackChannel while the proxy lives, and answers S_OK without effect afterwards.
#pragma once

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

class TransportBackChannel final : public velcom::DispatchImpl<IvelBackChannel> {
public:
    // A new object with one reference for the caller, or null when memory runs out.
    static TransportBackChannel* create(IvelBackChannel& proxy);
    // From now on callbacks are dropped.
    void detach() { m_pProxy = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get_lTraceLevel(LONG* pVal) override;
    STDMETHODIMP put_lTraceLevel(LONG newVal) override;
    STDMETHODIMP Error(LONG lTreadId, LONG lTime, LONG lDeep, LONG lErrorCode, BSTR bstrText1,
                       BSTR bstrText2, BSTR bstrText3) override;
    STDMETHODIMP Progress(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode, BSTR bstrText1,
                          BSTR bstrText2, BSTR bstrText3, SHORT nPercent, SHORT eAction) override;
    STDMETHODIMP Info(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode, BSTR bstrText1,
                      BSTR bstrText2, BSTR bstrText3) override;
    STDMETHODIMP Trace(LONG lTreadId, LONG lTime, LONG lDeep, LONG lLevel, BSTR bstrText) override;
    STDMETHODIMP Data(LONG lTreadId, LONG lTime, LONG lDeep, VARIANT* varData) override;

private:
    explicit TransportBackChannel(IvelBackChannel& proxy);
    ~TransportBackChannel();

    IvelBackChannel* m_pProxy;
    ULONG m_lRefCount = 1;
};
