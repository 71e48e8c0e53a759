#include "proxy/velTesseraProxy.h"

#include <memory>
#include <new>

#include "inproc/ModuleLock.h"
#include "proxy/TransportBackChannel.h"
#include "proxy/VariantLists.h"
#include "text/AnsiText.h"
#include "tracer/COMTracer.h"

namespace {

// Every context the transport may live in: in-process server and handler, local and remote.
constexpr DWORD kTransportContext = 0x17;

// The interface the transport's Init failures carry their error information for.
constexpr IID kTransportInitErrorInterface = {
    0xB05CDA1D, 0x36C8, 0x11D4, {0xB4, 0xC3, 0x00, 0xE0, 0x29, 0x44, 0x41, 0x3E}};

}  // namespace

HRESULT CvelTesseraProxy::create(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto* proxy = new (std::nothrow) CvelTesseraProxy(outer);
    if (proxy == nullptr) return E_OUTOFMEMORY;
    // Held once around the query, so that a failed query destroys the new object.
    proxy->m_innerUnknown.AddRef();
    const HRESULT result = proxy->m_innerUnknown.QueryInterface(riid, object);
    proxy->m_innerUnknown.Release();
    return result;
}

CvelTesseraProxy::CvelTesseraProxy(IUnknown* outer)
    : DispatchImpl<IvelTesseraProxy>(kIvelTesseraProxyMembers),
      DispatchImpl<IvelTesseraProxyEx>(kIvelTesseraProxyExMembers),
      DispatchImpl<IvelBackChannel>(kIvelBackChannelMembers),
      m_pControllingUnknown(outer != nullptr ? outer : &m_innerUnknown) {
    lockModule();
}

CvelTesseraProxy::~CvelTesseraProxy() {
    if (m_pTracer != nullptr) m_pTracer->release();
    m_pBackChannel.reset();
    m_pStartNode.reset();
    // The transport goes before its back channel is cut off, so that nothing it says on its way
    // out is lost.
    m_pTransport.reset();
    if (m_pTransportBackChannel != nullptr) {
        m_pTransportBackChannel->detach();
        m_pTransportBackChannel->Release();
    }
    unlockModule();
}

HRESULT CvelTesseraProxy::queryOwnInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown))
        *object = &m_innerUnknown;
    else if (IsEqualIID(riid, IID_IvelTesseraProxy) || IsEqualIID(riid, IID_IDispatch))
        *object = static_cast<IvelTesseraProxy*>(this);
    else if (IsEqualIID(riid, IID_IvelTesseraProxyEx))
        *object = static_cast<IvelTesseraProxyEx*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    else if (IsEqualIID(riid, IID_IvelBackChannel))
        *object = static_cast<IvelBackChannel*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

STDMETHODIMP CvelTesseraProxy::InnerUnknown::QueryInterface(REFIID riid, void** object) {
    return m_owner.queryOwnInterface(riid, object);
}

STDMETHODIMP_(ULONG) CvelTesseraProxy::InnerUnknown::AddRef() { return ++m_lRefCount; }

STDMETHODIMP_(ULONG) CvelTesseraProxy::InnerUnknown::Release() {
    const ULONG remaining = --m_lRefCount;
    if (remaining == 0) delete &m_owner;
    return remaining;
}

STDMETHODIMP CvelTesseraProxy::QueryInterface(REFIID riid, void** object) {
    return m_pControllingUnknown->QueryInterface(riid, object);
}

STDMETHODIMP_(ULONG) CvelTesseraProxy::AddRef() { return m_pControllingUnknown->AddRef(); }

STDMETHODIMP_(ULONG) CvelTesseraProxy::Release() { return m_pControllingUnknown->Release(); }

STDMETHODIMP CvelTesseraProxy::InterfaceSupportsErrorInfo(REFIID riid) {
    return interfaceSupportsErrorInfo(riid);
}

HRESULT CvelTesseraProxy::checkInit(int line) {
    if (m_bInitialized) return S_OK;
    traceAt(kTraceState, kSource, line, "TSR not initialized");
    reportError(TSR_E_NOT_INITIALIZED);
    return TSR_E_NOT_INITIALIZED;
}

HRESULT CvelTesseraProxy::checkComm(long step, int line) {
    if (m_pStartNode == nullptr) {
        m_lStep = 0;
        traceAt(kTraceState, kSource, line, "TSR communication not initialized");
        reportError(TSR_E_COMM_NOT_INITIALIZED);
        return TSR_E_COMM_NOT_INITIALIZED;
    }
    if (step != m_lStep) {
        traceAt(kTraceState, kSource, line, "TSR wrong communication step");
        reportError(TSR_E_WRONG_STEP);
        return TSR_E_WRONG_STEP;
    }
    return S_OK;
}

STDMETHODIMP CvelTesseraProxy::Init(IvelBackChannel* pBackChannel, IvelRand* pRandGenerator,
                                    ISMPrivateKeyInfrastructure* pPKI, BSTR strTmpDir) {
    return exceptionFrame(kSource, kInitFrameLine, [&]() -> HRESULT {
        if (m_bInitialized) {
            traceAt(kTraceState, kSource, kInitAgainLine, "TSR already initialized");
            return S_OK;
        }
        if (pPKI == nullptr) {
            traceAt(kTraceState, kSource, kInvalidPkiLine, "TSR invalid PKI");
            return E_INVALIDARG;
        }
        const HRESULT query =
            pPKI->QueryInterface(IID_ISMPrivateKeyInfrastructure, m_pPKI.putVoid());
        if (FAILED(query) && query != E_NOINTERFACE) _com_issue_error(query);

        // A repeated Init after a failed one keeps the tracer reference it already has.
        if (m_pTracer == nullptr) m_pTracer = ITracer::instance();
        if (auto* tracer = dynamic_cast<COMTracer*>(m_pTracer))
            tracer->setBackChannel(pBackChannel);
        m_pBackChannel = velcom::ComPtr<IvelBackChannel>(pBackChannel);

        const HRESULT created = createTransport(pRandGenerator);
        if (FAILED(created)) return created;

        m_strTmpDir = toAnsi(strTmpDir);
        m_bInitialized = true;
        return S_OK;
    });
}

HRESULT CvelTesseraProxy::createTransport(IvelRand* pRandGenerator) {
    m_pTransport.reset();
    velcom::ComPtr<IUnknown> created;
    HRESULT result = CoCreateInstance(CLSID_velTransport, nullptr, kTransportContext, IID_IUnknown,
                                      created.putVoid());
    if (FAILED(result)) return result;
    result = OleRun(created.get());
    if (SUCCEEDED(result)) result = created.as(m_pTransport);
    created.reset();
    if (FAILED(result)) return result;
    if (!m_pTransport) _com_issue_error(E_POINTER);

    if (m_pTransportBackChannel == nullptr) {
        m_pTransportBackChannel = TransportBackChannel::create(*this);
        if (m_pTransportBackChannel == nullptr) _com_issue_error(E_OUTOFMEMORY);
    }
    result = m_pTransport->Init(m_pTransportBackChannel, pRandGenerator);
    if (FAILED(result))
        _com_issue_errorex(result, m_pTransport.get(), kTransportInitErrorInterface);
    return S_OK;
}

STDMETHODIMP CvelTesseraProxy::InitComm(BSTR strStartURL, VARIANT varAddHeaders) {
    return exceptionFrame(kSource, kInitCommFrameLine, [&]() -> HRESULT {
        const HRESULT initialized = checkInit(kInitCommCheckLine);
        if (FAILED(initialized)) return initialized;
        if (m_pStartNode != nullptr) {
            traceAt(kTraceState, kSource, kInitCommAgainLine,
                    "TSR communication already initialized");
            m_lStep = 1;
            return S_OK;
        }
        m_vecHeaders.clear();
        // Headers of any form other than a list of strings are ignored, not refused.
        if (FAILED(variantToStrings(varAddHeaders, &m_vecHeaders))) m_vecHeaders.clear();
        const std::string startUrl = toAnsi(strStartURL);
        m_vecFields.clear();

        const HRESULT result = exchange(startUrl, false, std::string());
        if (SUCCEEDED(result)) {
            for (const std::unique_ptr<Node>& node : m_parser.roots())
                if (node->getKind() == KindStart)
                    m_pStartNode =
                        std::static_pointer_cast<const StartNode>(m_parser.share(node.get()));
        }
        m_lStep = 1;
        return result;
    });
}
