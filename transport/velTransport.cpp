#include "velTransport.h"

#include <new>

#include "TransportArguments.h"
#include "TransportErrorFrame.h"
#include "inproc/ModuleLock.h"
#include "text/AnsiText.h"

HRESULT CvelTransport::create(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* transport = new (std::nothrow) CvelTransport();
    if (transport == nullptr) return E_OUTOFMEMORY;
    // Held once around the query, so that a failed query destroys the new object.
    transport->AddRef();
    const HRESULT result = transport->QueryInterface(riid, object);
    transport->Release();
    return result;
}

CvelTransport::CvelTransport() : DispatchImpl(kIvelTransportMembers) { lockModule(); }

CvelTransport::~CvelTransport() { unlockModule(); }

STDMETHODIMP CvelTransport::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IvelTransport))
        *object = static_cast<IvelTransport*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// Apartment-threaded: every call comes on the creating thread, so the count needs no interlock.
STDMETHODIMP_(ULONG) CvelTransport::AddRef() { return ++m_lRefCount; }

STDMETHODIMP_(ULONG) CvelTransport::Release() {
    const ULONG remaining = --m_lRefCount;
    if (remaining == 0) delete this;
    return remaining;
}

STDMETHODIMP CvelTransport::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IvelTransport) ? S_OK : S_FALSE;
}

STDMETHODIMP CvelTransport::Init(IvelBackChannel* pBackChannel, IvelRand* pRandGenerator) {
    return transportFrame(m_reporter, "Init", [&] {
        m_reporter = TransportReporter(pBackChannel);
        m_pRandom = velcom::ComPtr<IvelRand>(pRandGenerator);
        return S_OK;
    });
}

STDMETHODIMP CvelTransport::Reserved1() { return E_NOTIMPL; }
STDMETHODIMP CvelTransport::Reserved2() { return E_NOTIMPL; }
STDMETHODIMP CvelTransport::Reserved3() { return E_NOTIMPL; }
STDMETHODIMP CvelTransport::Reserved4() { return E_NOTIMPL; }
STDMETHODIMP CvelTransport::Reserved5() { return E_NOTIMPL; }
STDMETHODIMP CvelTransport::Reserved6() { return E_NOTIMPL; }

STDMETHODIMP CvelTransport::Post(BSTR bstrOptions, BSTR bstrAddress, VARIANT varHeaders,
                                 VARIANT varFields) {
    return request(true, bstrOptions, bstrAddress, varHeaders, varFields);
}

STDMETHODIMP CvelTransport::Get(BSTR bstrOptions, BSTR bstrAddress, VARIANT varHeaders,
                                VARIANT varFields) {
    return request(false, bstrOptions, bstrAddress, varHeaders, varFields);
}

HRESULT CvelTransport::request(bool bPost, BSTR bstrOptions, BSTR bstrAddress,
                               const VARIANT& varHeaders, const VARIANT& varFields) {
    const char* method = bPost ? "POST" : "GET";
    // A callback may drop the caller's last reference; the object must outlive the request.
    const velcom::ComPtr<IvelTransport> self(this);
    const TransportReporter reporter = m_reporter;
    return transportFrame(reporter, method, [&] {
        if (m_bBusy)
            throw TransportFailure(E_UNEXPECTED, "a request of this transport is still running");
        HttpRequest request{bPost,
                            toAnsi(bstrAddress),
                            headerLinesOf(varHeaders),
                            stringsOf(varFields, "form fields"),
                            parseTransportOptions(toAnsi(bstrOptions)),
                            readTransportSettings()};
        for (const std::string& unknown : request.options.vecUnknown)
            reporter.trace(kTraceRequest, "velTransport ignores the unknown option " + unknown);
        for (const std::string& ignored : request.settings.vecIgnored)
            reporter.trace(kTraceRequest, "velTransport ignores the unusable setting " + ignored);
        reporter.trace(kTraceRequest,
                       std::string("velTransport ") + method + " " + request.strAddress);
        if (!m_pSession) m_pSession = makeHttpSession();
        m_bBusy = true;
        struct Idle {
            bool& busy;
            ~Idle() { busy = false; }
        } idle{m_bBusy};
        m_pSession->perform(request, reporter);
        return S_OK;
    });
}
