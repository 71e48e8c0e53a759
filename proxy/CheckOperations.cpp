// Asking the server for a certificate's state, and fetching the current revocation list.
#include "proxy/velTesseraProxy.h"

STDMETHODIMP CvelTesseraProxy::Check(ISMCertificate* pCert, IvelNode** ppVal) {
    (void)pCert, (void)ppVal;
    return operation(1, kCheckLines, true, [] { return E_NOTIMPL; });
}

STDMETHODIMP CvelTesseraProxy::UpdateCRL() {
    return operation(1, kUpdateCRLLines, true, [] { return E_NOTIMPL; });
}
