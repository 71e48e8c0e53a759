// The PKI class's methods that judge certificates, whichever system verifies them.
#include "ErrorBoundary.h"
#include "PkiAutomation.h"

STDMETHODIMP PkiAutomation::Verify(ISMCertificate* pCert, LONG, CertStatus* pStatus) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Verify", [&] {
        requireOut(pStatus);
        *pStatus = statusOfCertificate(pCert);
    });
}

STDMETHODIMP PkiAutomation::Verify2(LONG lCertID, LONG, CertStatus* pStatus) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "Verify2", [&] {
        requireOut(pStatus);
        *pStatus = statusOfStored(lCertID);
    });
}

STDMETHODIMP PkiAutomation::GetIssuer(ISMCertificate* pCertificate, LONG lDeep,
                                      ISMCertificateList** ppChain) {
    return errorBoundary(IID_ISMPrivateKeyInfrastructure, "GetIssuer", [&] {
        requireOut(ppChain);
        *ppChain = nullptr;
        const auto list = CvelCertificateList::make();
        appendIssuers(pCertificate, lDeep <= 0 ? 0 : static_cast<std::size_t>(lDeep), *list.get());
        *ppChain = list->handOut();
    });
}
