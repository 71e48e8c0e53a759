// Applying for a certificate: the application page for the host, then the key request, its
// submission and the immediate pick-up of the certificate.
#include "proxy/velTesseraProxy.h"

STDMETHODIMP CvelTesseraProxy::RequestStep1(IvelNode** ppVal) {
    (void)ppVal;
    return operation(1, kRequestStep1Lines, false, [] { return E_NOTIMPL; });
}

STDMETHODIMP CvelTesseraProxy::RequestStep2(BSTR strTOPasswd, BSTR strKeyPasswd, LONG bAGB,
                                            LONG bName, LONG* plCertID) {
    (void)strTOPasswd, (void)strKeyPasswd, (void)bAGB, (void)bName, (void)plCertID;
    return operation(2, kRequestStep2Lines, true, [] { return E_NOTIMPL; });
}
