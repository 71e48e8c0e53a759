// The proxy's own back channel: what the transport reports reaches the host one level deeper, and
// the answer page arrives here in byte chunks.
#include "proxy/velTesseraProxy.h"

#include <new>

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
                    m_strResponse.append(bytes.data(), static_cast<std::size_t>(upper - lower) + 1);
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
