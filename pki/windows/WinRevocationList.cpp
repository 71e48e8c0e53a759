#include "WinRevocationList.h"

#include "AutomationValues.h"
#include "Base64.h"
#include "CertificateText.h"
#include "ErrorBoundary.h"

namespace {

bool hasNextUpdate(const CRL_INFO* info) {
    return info->NextUpdate.dwLowDateTime != 0 || info->NextUpdate.dwHighDateTime != 0;
}

}  // namespace

std::string derOf(PCCRL_CONTEXT list) {
    return std::string(reinterpret_cast<const char*>(list->pbCrlEncoded), list->cbCrlEncoded);
}

STDMETHODIMP CvelRevocationList::get_Issuer(VARIANT* pVal) {
    return errorBoundary(interfaceId(), "Issuer", [&] {
        requireOut(pVal);
        putText(pVal, nameText(list()->pCrlInfo->Issuer));
    });
}

STDMETHODIMP CvelRevocationList::IsActive(Validity* pValidity) {
    return errorBoundary(interfaceId(), "IsActive", [&] {
        requireOut(pValidity);
        const CRL_INFO* info = list()->pCrlInfo;
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        *pValidity = CompareFileTime(&now, &info->ThisUpdate) < 0 ? SMValNotYet
                     : hasNextUpdate(info) && CompareFileTime(&now, &info->NextUpdate) > 0
                         ? SMValExpired
                         : SMValValid;
    });
}

STDMETHODIMP CvelRevocationList::get_LastUpdate(BSTR* pVal) {
    return errorBoundary(interfaceId(), "LastUpdate", [&] {
        requireOut(pVal);
        *pVal = newText(timeText(list()->pCrlInfo->ThisUpdate));
    });
}

STDMETHODIMP CvelRevocationList::get_NextUpdate(BSTR* pVal) {
    return errorBoundary(interfaceId(), "NextUpdate", [&] {
        requireOut(pVal);
        const CRL_INFO* info = list()->pCrlInfo;
        *pVal = newText(hasNextUpdate(info) ? timeText(info->NextUpdate) : std::string());
    });
}

STDMETHODIMP CvelRevocationList::AsBinaryString(LONG bBase64, VARIANT* pvarData) {
    return errorBoundary(interfaceId(), "AsBinaryString", [&] {
        requireOut(pvarData);
        const std::string der = derOf(list());
        putBytes(pvarData, bBase64 != 0 ? toBase64(der) : der);
    });
}

STDMETHODIMP CvelRevocationList::GetEntry(LONG lIndex, BSTR* pstrRevocationDate, BSTR* pstrSerial) {
    return errorBoundary(interfaceId(), "GetEntry", [&] {
        requireOut(pstrRevocationDate);
        requireOut(pstrSerial);
        const CRL_INFO* info = list()->pCrlInfo;
        if (lIndex < 0 || static_cast<DWORD>(lIndex) >= info->cCRLEntry)
            failWith(E_INVALIDARG, "no entry at this index");
        const CRL_ENTRY& entry = info->rgCRLEntry[lIndex];
        *pstrRevocationDate = newText(timeText(entry.RevocationDate));
        *pstrSerial = newText(serialText(entry.SerialNumber));
    });
}

STDMETHODIMP CvelRevocationList::get_EntryCount(LONG* pVal) {
    return errorBoundary(interfaceId(), "EntryCount", [&] {
        requireOut(pVal);
        *pVal = static_cast<LONG>(list()->pCrlInfo->cCRLEntry);
    });
}
