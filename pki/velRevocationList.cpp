#include "velRevocationList.h"

#include "AutomationValues.h"
#include "DerText.h"
#include "ErrorBoundary.h"
#include "velCertificate.h"

STDMETHODIMP CvelRevocationList::get_Issuer(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Issuer", [&] {
        requireOut(pVal);
        putText(pVal, nameText(X509_CRL_get_issuer(list())));
    });
}

STDMETHODIMP CvelRevocationList::IsActive(Validity* pValidity) {
    return errorBoundary(interfaceId(), "IsActive", [&] {
        requireOut(pValidity);
        const ASN1_TIME* next = X509_CRL_get0_nextUpdate(list());
        *pValidity = next == nullptr && X509_cmp_current_time(X509_CRL_get0_lastUpdate(list())) <= 0
                         ? SMValValid
                         : validityNow(X509_CRL_get0_lastUpdate(list()), next);
    });
}

STDMETHODIMP CvelRevocationList::get_LastUpdate(BSTR* pVal) {
    return errorBoundary(interfaceId(), "LastUpdate", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(X509_CRL_get0_lastUpdate(list())));
    });
}

STDMETHODIMP CvelRevocationList::get_NextUpdate(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NextUpdate", [&] {
        requireOut(pVal);
        const ASN1_TIME* next = X509_CRL_get0_nextUpdate(list());
        *pVal = newText(next == nullptr ? std::string() : timeText(next));
    });
}

STDMETHODIMP CvelRevocationList::AsBinaryString(LONG bBase64, VARIANT* pvarData) {
    return errorBoundary(interfaceId(), "AsBinaryString", [&] {
        requireOut(pvarData);
        const std::string der = revocationListDer(list());
        putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
    });
}

STDMETHODIMP CvelRevocationList::GetEntry(LONG lIndex, BSTR* pstrRevocationDate, BSTR* pstrSerial) {
    return errorBoundary(interfaceId(), "GetEntry", [&] {
        requireOut(pstrRevocationDate);
        requireOut(pstrSerial);
        STACK_OF(X509_REVOKED)* entries = X509_CRL_get_REVOKED(list());
        if (lIndex < 0 || entries == nullptr || lIndex >= sk_X509_REVOKED_num(entries))
            failWith(E_INVALIDARG, "no entry at this index");
        const X509_REVOKED* entry = sk_X509_REVOKED_value(entries, lIndex);
        *pstrRevocationDate = newText(timeText(X509_REVOKED_get0_revocationDate(entry)));
        *pstrSerial = newText(serialText(X509_REVOKED_get0_serialNumber(entry)));
    });
}

STDMETHODIMP CvelRevocationList::get_EntryCount(LONG* pVal) {
    return errorBoundary(interfaceId(), "EntryCount", [&] {
        requireOut(pVal);
        STACK_OF(X509_REVOKED)* entries = X509_CRL_get_REVOKED(list());
        *pVal = entries == nullptr ? 0 : sk_X509_REVOKED_num(entries);
    });
}
