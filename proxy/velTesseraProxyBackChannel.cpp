// The proxy's own back channel: what the transport reports reaches the host one level deeper, and
// the answer page arrives here in byte chunks.
#include "proxy/velTesseraProxy.h"

#include <new>
#include <optional>

namespace {

// The action of a transport's Progress while an answer arrives. Before its first chunk the
// transport may announce the answer's size in bytes, in decimal, as the second text.
constexpr SHORT kProgressReceiving = 1;

std::optional<std::size_t> announcedSize(BSTR text) {
    const UINT length = SysStringLen(text);
    // More digits than this announce more than any page the proxy would keep.
    if (length == 0 || length > 15) return std::nullopt;
    std::size_t size = 0;
    for (UINT i = 0; i < length; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
        size = size * 10 + static_cast<std::size_t>(text[i] - u'0');
    }
    return size;
}

}  // namespace

STDMETHODIMP CvelTesseraProxy::get_lTraceLevel(LONG* pVal) {
    return m_pBackChannel ? m_pBackChannel->get_lTraceLevel(pVal) : S_OK;
}

STDMETHODIMP CvelTesseraProxy::put_lTraceLevel(LONG newVal) {
    return m_pBackChannel ? m_pBackChannel->put_lTraceLevel(newVal) : S_OK;
}

STDMETHODIMP CvelTesseraProxy::Error(LONG lTreadId, LONG lTime, LONG lDeep, LONG lErrorCode,
                                     BSTR bstrText1, BSTR bstrText2, BSTR bstrText3) {
    return m_pBackChannel ? m_pBackChannel->Error(lTreadId, lTime, lDeep + 1, lErrorCode, bstrText1,
                                                  bstrText2, bstrText3)
                          : S_OK;
}

STDMETHODIMP CvelTesseraProxy::Progress(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode,
                                        BSTR bstrText1, BSTR bstrText2, BSTR bstrText3,
                                        SHORT nPercent, SHORT eAction) {
    if (eAction == kProgressReceiving) {
        if (const auto size = announcedSize(bstrText2)) m_response.expect(*size);
    }
    return m_pBackChannel
               ? m_pBackChannel->Progress(lTreadId, lTime, lDeep + 1, lTextCode, bstrText1,
                                          bstrText2, bstrText3, nPercent, eAction)
               : S_OK;
}

STDMETHODIMP CvelTesseraProxy::Info(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode,
                                    BSTR bstrText1, BSTR bstrText2, BSTR bstrText3) {
    return m_pBackChannel ? m_pBackChannel->Info(lTreadId, lTime, lDeep + 1, lTextCode, bstrText1,
                                                 bstrText2, bstrText3)
                          : S_OK;
}

// Not filtered by the mask: the transport's lines reach the host as the transport meant them.
STDMETHODIMP CvelTesseraProxy::Trace(LONG lTreadId, LONG lTime, LONG lDeep, LONG lLevel,
                                     BSTR bstrText) {
    return m_pBackChannel ? m_pBackChannel->Trace(lTreadId, lTime, lDeep + 1, lLevel, bstrText)
                          : S_OK;
}

STDMETHODIMP CvelTesseraProxy::Data(LONG lTreadId, LONG lTime, LONG lDeep, VARIANT* varData) {
    if (varData != nullptr && varData->vt == (VT_ARRAY | VT_UI1) && varData->parray != nullptr) {
        LONG lower = 0;
        LONG upper = -1;
        if (SUCCEEDED(SafeArrayGetLBound(varData->parray, 1, &lower)) &&
            SUCCEEDED(SafeArrayGetUBound(varData->parray, 1, &upper)) && upper >= lower) {
            const velcom::SafeArrayData<char> bytes(varData->parray);
            try {
                if (m_bResponseLost) return E_OUTOFMEMORY;
                if (bytes.data() != nullptr)
                    m_response.append(bytes.data(), static_cast<std::size_t>(upper - lower) + 1);
            } catch (const std::bad_alloc&) {
                // The transport learns that the page cannot be kept, and should stop; should it
                // carry on, no later chunk is kept either, and the exchange fails.
                m_bResponseLost = true;
                return E_OUTOFMEMORY;
            }
        }
    }
    return m_pBackChannel ? m_pBackChannel->Data(lTreadId, lTime, lDeep + 1, varData) : S_OK;
}
