// The PKI class's methods that find, hand out, revoke and delete stored certificates and keys,
// whichever system keeps them.
#include "AutomationValues.h"
#include "ErrorBoundary.h"
#include "PkiAutomation.h"
#include "SerialText.h"
#include "text/AnsiText.h"

STDMETHODIMP PkiAutomation::Find(CertType* pType, CertStatus* pStatus, BSTR* pstrAddress,
                                 LONG* /*pbDefault: defaults are not kept*/, BSTR* pstrCommonName,
                                 VARIANT* pIssuer, BSTR* pstrSerial,
                                 ISMCertificateList** ppCertList) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Find", [&] {
        requireOut(ppCertList);
        *ppCertList = nullptr;
        const auto optionalText = [](BSTR* text) {
            return text == nullptr ? std::nullopt : std::optional(toAnsi(*text));
        };
        FindCriteria criteria;
        if (pType != nullptr && *pType != SMTypeAll) criteria.type = *pType;
        if (pStatus != nullptr && *pStatus != SMStatusAll) criteria.status = *pStatus;
        criteria.address = optionalText(pstrAddress);
        criteria.commonName = optionalText(pstrCommonName);
        if (pIssuer != nullptr)
            if (const std::vector<std::string> names = textsOf(*pIssuer); !names.empty())
                criteria.issuerName = names.front();
        criteria.serial = optionalText(pstrSerial);
        if (criteria.serial) criteria.serial = normalSerial(*criteria.serial);
        const auto list = CvelCertificateList::make();
        findCertificates(criteria, *list.get());
        *ppCertList = list->handOut();
    });
}

STDMETHODIMP PkiAutomation::FindKey(LONG lCertID, ISMAsymKey** ppKey) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "FindKey", [&] {
        requireOut(ppKey);
        *ppKey = nullptr;
        velcom::ComPtr<ISMAsymKey> key = keyOfCertificate(lCertID);
        if (!key) failWith(E_INVALIDARG, "no key for certificate " + std::to_string(lCertID));
        *ppKey = key.detach();
    });
}

STDMETHODIMP PkiAutomation::GetCertificate(LONG lID, ISMCertificate** ppCertificate) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "GetCertificate", [&] {
        requireOut(ppCertificate);
        *ppCertificate = certificateWithId(lID).detach();
    });
}

STDMETHODIMP PkiAutomation::GetTrustAnchor(ISMCertificate** ppAnchor) {
    bool none = false;
    const HRESULT result = errorBoundary(IID_IvelPKIStore, "GetTrustAnchor", [&] {
        requireOut(ppAnchor);
        *ppAnchor = nullptr;
        velcom::ComPtr<ISMCertificate> anchor = anchorCertificate();
        none = !anchor;
        *ppAnchor = anchor.detach();
    });
    return result == S_OK && none ? S_FALSE : result;
}

STDMETHODIMP PkiAutomation::Revoke(ISMCertificate* pCert) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Revoke",
                         [&] { markRevoked(storedIdOf(pCert)); });
}

STDMETHODIMP PkiAutomation::Delete(ISMCertificate* pCert) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Delete",
                         [&] { deleteStored(storedIdOf(pCert)); });
}

STDMETHODIMP PkiAutomation::Delete2(LONG lCertID) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Delete2", [&] {
        if (!deleteStored(lCertID))
            failWith(E_INVALIDARG, "no certificate " + std::to_string(lCertID) + " in the store");
    });
}
