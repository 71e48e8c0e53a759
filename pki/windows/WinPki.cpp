#include "WinPki.h"

#include <algorithm>

#include "CertificateText.h"
#include "CryptText.h"
#include "ForeignDer.h"
#include "KeyContainer.h"
#include "PkiClass.h"
#include "PkiFailure.h"
#include "UserStores.h"

HRESULT createPkiObject(IUnknown* outer, REFIID riid, void** object) {
    return PkiAutomation::create<CvelPKI>(outer, riid, object);
}

CvelPKI::~CvelPKI() {
    try {
        // Another object of this component may have added the request since.
        const std::vector<OpenRequest> open = pkiRegistry::openRequests();
        for (const std::string& container : m_unkept) {
            if (std::any_of(open.begin(), open.end(), [&](const OpenRequest& request) {
                    return request.container == container;
                }))
                continue;
            KeyContainer::remove(container);
            pkiRegistry::forgetKeyPassword(container);
        }
    } catch (const std::exception&) {
        // A key left behind serves no request and harms none.
    }
}

void CvelPKI::openStore(const std::string&) {
    failWith(E_NOTIMPL, "the store is the user's own certificate store, which has no path");
}

velcom::ComPtr<CvelCertificate> CvelPKI::storedCertificate(long id) {
    const std::optional<CertificateRecord> record = pkiRegistry::certificate(id);
    if (!record) failWith(E_INVALIDARG, "no certificate " + std::to_string(id) + " in the store");
    CertContext certificate = ::storedCertificate(record->hash);
    if (!certificate)
        failWith(E_INVALIDARG,
                 "certificate " + std::to_string(id) + " is no longer in the user's store");
    return CvelCertificate::make(std::move(certificate), id);
}

CertContext CvelPKI::certificateOf(ISMCertificate* certificate) {
    if (certificate == nullptr) failWith(E_INVALIDARG, "no certificate");
    if (const auto own = CvelCertificate::own(certificate))
        return CertContext(CertDuplicateCertificateContext(own->certificate()));
    return certificateFromDer(foreignDer(certificate));
}

CertificateRecord CvelPKI::recordOf(ISMCertificate* certificate) {
    const std::optional<CertificateRecord> record =
        pkiRegistry::certificateWithHash(sha1Of(certificateOf(certificate).get()));
    if (!record) failWith(E_INVALIDARG, "the certificate is not in the store");
    return *record;
}

void CvelPKI::removeCertificate(const CertificateRecord& record) {
    pkiRegistry::removeCertificate(record.id);
    const std::vector<CertificateRecord> others = pkiRegistry::certificates();
    if (std::none_of(others.begin(), others.end(),
                     [&](const CertificateRecord& other) { return other.hash == record.hash; }))
        removeStored(record.hash);
    if (!record.container.empty() &&
        std::none_of(others.begin(), others.end(), [&](const CertificateRecord& other) {
            return other.container == record.container;
        })) {
        KeyContainer::remove(record.container);
        pkiRegistry::forgetKeyPassword(record.container);
    }
}

void CvelPKI::findCertificates(const FindCriteria& criteria, CvelCertificateList& found) {
    for (const CertificateRecord& record : pkiRegistry::certificates()) {
        CertContext certificate = ::storedCertificate(record.hash);
        if (!certificate) continue;
        PCCERT_CONTEXT held = certificate.get();
        const CertType type = !record.container.empty() ? SMTypeOwn
                              : isAuthority(held)       ? SMTypeCA
                                                        : SMTypeOther;
        if (!criteria.admits(type)) continue;
        if (criteria.status && statusOf(held, &record) != *criteria.status) continue;
        if (criteria.serial && serialText(held) != *criteria.serial) continue;
        if (criteria.commonName &&
            subjectAttribute(held, szOID_COMMON_NAME) != *criteria.commonName)
            continue;
        if (criteria.address && subjectAttribute(held, szOID_RSA_emailAddr) != *criteria.address)
            continue;
        if (criteria.issuerName && nameText(held->pCertInfo->Issuer) != *criteria.issuerName)
            continue;
        found.append(CvelCertificate::make(std::move(certificate), record.id));
    }
}

velcom::ComPtr<ISMCertificate> CvelPKI::certificateWithId(LONG id) {
    return velcom::ComPtr<ISMCertificate>(storedCertificate(id).get());
}

std::int64_t CvelPKI::storedIdOf(ISMCertificate* certificate) { return recordOf(certificate).id; }

void CvelPKI::markRevoked(std::int64_t id) { pkiRegistry::markRevoked(static_cast<long>(id)); }

bool CvelPKI::deleteStored(std::int64_t id) {
    const std::optional<CertificateRecord> record = pkiRegistry::certificate(static_cast<long>(id));
    if (!record) return false;
    removeCertificate(*record);
    return true;
}
