#include "proxy/TransportBackChannel.h"

#include <new>

#include "inproc/ModuleLock.h"

TransportBackChannel* TransportBackChannel::create(IvelBackChannel& proxy) {
    return new (std::nothrow) TransportBackChannel(proxy);
}

// The transport may outlive the proxy and still call in, so this object keeps the module loaded.
TransportBackChannel::TransportBackChannel(IvelBackChannel& proxy)
    : DispatchImpl(kIvelBackChannelMembers), m_pProxy(&proxy) {
    lockModule();
}

TransportBackChannel::~TransportBackChannel() { unlockModule(); }

STDMETHODIMP TransportBackChannel::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IvelBackChannel)) {
        *object = static_cast<IvelBackChannel*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TransportBackChannel::AddRef() { return ++m_lRefCount; }

STDMETHODIMP_(ULONG) TransportBackChannel::Release() {
    const ULONG remaining = --m_lRefCount;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP TransportBackChannel::get_lTraceLevel(LONG* pVal) {
    return m_pProxy != nullptr ? m_pProxy->get_lTraceLevel(pVal) : S_OK;
}

STDMETHODIMP TransportBackChannel::put_lTraceLevel(LONG newVal) {
    return m_pProxy != nullptr ? m_pProxy->put_lTraceLevel(newVal) : S_OK;
}

STDMETHODIMP TransportBackChannel::Error(LONG lTreadId, LONG lTime, LONG lDeep, LONG lErrorCode,
                                         BSTR bstrText1, BSTR bstrText2, BSTR bstrText3) {
    return m_pProxy != nullptr ? m_pProxy->Error(lTreadId, lTime, lDeep, lErrorCode, bstrText1,
                                                 bstrText2, bstrText3)
                               : S_OK;
}

STDMETHODIMP TransportBackChannel::Progress(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode,
                                            BSTR bstrText1, BSTR bstrText2, BSTR bstrText3,
                                            SHORT nPercent, SHORT eAction) {
    return m_pProxy != nullptr ? m_pProxy->Progress(lTreadId, lTime, lDeep, lTextCode, bstrText1,
                                                    bstrText2, bstrText3, nPercent, eAction)
                               : S_OK;
}

STDMETHODIMP TransportBackChannel::Info(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode,
                                        BSTR bstrText1, BSTR bstrText2, BSTR bstrText3) {
    return m_pProxy != nullptr
               ? m_pProxy->Info(lTreadId, lTime, lDeep, lTextCode, bstrText1, bstrText2, bstrText3)
               : S_OK;
}

STDMETHODIMP TransportBackChannel::Trace(LONG lTreadId, LONG lTime, LONG lDeep, LONG lLevel,
                                         BSTR bstrText) {
    return m_pProxy != nullptr ? m_pProxy->Trace(lTreadId, lTime, lDeep, lLevel, bstrText) : S_OK;
}

STDMETHODIMP TransportBackChannel::Data(LONG lTreadId, LONG lTime, LONG lDeep, VARIANT* varData) {
    return m_pProxy != nullptr ? m_pProxy->Data(lTreadId, lTime, lDeep, varData) : S_OK;
}
