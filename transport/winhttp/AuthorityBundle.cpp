#include "AuthorityBundle.h"

#include "PemCertificates.h"
#include "TransportFailure.h"
#include "TransportSettings.h"

namespace {

// The system does not trust the bundle's authorities as roots, and checks no revocation here.
constexpr DWORD kExpectedErrors = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN;

}  // namespace

AuthorityBundle::AuthorityBundle(const std::string& path, const std::string& host,
                                 INTERNET_PORT port)
    : m_authorities(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr)) {
    if (!m_authorities) throw TransportFailure(E_OUTOFMEMORY, "out of memory");
    int added = 0;
    for (const std::string& der : readPemCertificates(path))
        added += CertAddEncodedCertificateToStore(m_authorities.get(), X509_ASN_ENCODING,
                                                  reinterpret_cast<const BYTE*>(der.data()),
                                                  static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_USE_EXISTING, nullptr)
                     ? 1
                     : 0;
    if (added == 0)
        throw serverFailure(
            ERROR_WINHTTP_SECURE_INVALID_CA, "cannot trust the certificate of", host, port,
            std::string(kCaBundleVariable) + " " + path + " holds no PEM certificate");
}

bool AuthorityBundle::vouchesFor(PCCERT_CONTEXT server) const {
    const CertStore candidates(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    if (!candidates || !CertAddStoreToCollection(candidates.get(), m_authorities.get(), 0, 0) ||
        !CertAddStoreToCollection(candidates.get(), server->hCertStore, 0, 0))
        return false;
    LPSTR serverUse = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof parameters;
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = &serverUse;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, server, nullptr, candidates.get(), &parameters, 0,
                                 nullptr, &built))
        return false;
    const ChainContext chain(built);
    if (chain->cChain == 0 || (chain->TrustStatus.dwErrorStatus & ~kExpectedErrors) != 0)
        return false;
    const CERT_SIMPLE_CHAIN& links = *chain->rgpChain[0];
    for (DWORD index = 0; index < links.cElement; ++index) {
        const CertContext authority(CertFindCertificateInStore(
            m_authorities.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
            links.rgpElement[index]->pCertContext, nullptr));
        if (authority) return true;
    }
    return false;
}
