#include "velRequest.h"

#include "AutomationValues.h"
#include "Base64.h"
#include "ErrorBoundary.h"

STDMETHODIMP CvelRequest::get_Type(RequestType* pVal) {
    return errorBoundary(interfaceId(), "Type", [&] {
        requireOut(pVal);
        *pVal = SMRequestSPKAC;
    });
}

STDMETHODIMP CvelRequest::AsBinaryString(LONG bBase64, VARIANT* pvarData) {
    return errorBoundary(interfaceId(), "AsBinaryString", [&] {
        requireOut(pvarData);
        putBytes(pvarData, bBase64 != 0 ? m_strSpkac : fromBase64(m_strSpkac));
    });
}
