// Picking up a certificate issued for a request made earlier.
#include "proxy/velTesseraProxy.h"

STDMETHODIMP CvelTesseraProxy::PickUp(LONG* plCertID) { return PickUpEx(nullptr, plCertID); }

STDMETHODIMP CvelTesseraProxy::PickUpEx(IAuthenticator* pAuthenticator, LONG* plCertID) {
    (void)pAuthenticator, (void)plCertID;
    return operation(1, kPickUpExLines, true, [] { return E_NOTIMPL; });
}
