// Renewing a certificate: authenticated by the old certificate and its key, the applicant submits
// a new key request.
#include "proxy/velTesseraProxy.h"

STDMETHODIMP CvelTesseraProxy::RenewStep1(ISMCertificate* pOldCert, IAuthenticator* pAuthenticator,
                                          IvelNode** ppVal) {
    (void)pOldCert, (void)pAuthenticator, (void)ppVal;
    return operation(1, kRenewStep1Lines, false, [] { return E_NOTIMPL; });
}

STDMETHODIMP CvelTesseraProxy::RenewStep2(BSTR strKeyPasswd, LONG bAGB, LONG* plCertID) {
    (void)strKeyPasswd, (void)bAGB, (void)plCertID;
    return operation(3, kRenewStep2Lines, true, [] { return E_NOTIMPL; });
}
