#include "velPKI.h"

#include "DerText.h"
#include "ForeignDer.h"
#include "PkiClass.h"
#include "PkiFailure.h"

HRESULT createPkiObject(IUnknown* outer, REFIID riid, void** object) {
    return PkiAutomation::create<CvelPKI>(outer, riid, object);
}

void CvelPKI::openStore(const std::string& file) {
    if (file.empty()) failWith(E_INVALIDARG, "no path for the store");
    // The store in use stays when the new one cannot be opened.
    m_pStore = std::make_shared<PkiStore>(file);
}

PkiStore& CvelPKI::store() {
    if (!m_pStore) m_pStore = std::make_shared<PkiStore>(defaultStorePath());
    return *m_pStore;
}

CertificateEntry entryOf(X509* certificate) {
    return {certificateDer(certificate), serialText(certificate),
            commonNameOf(X509_get_subject_name(certificate))};
}

velcom::ComPtr<CvelCertificate> CvelPKI::storedCertificate(std::int64_t id) {
    const std::optional<CertificateRow> row = store().certificate(id);
    if (!row) failWith(E_INVALIDARG, "no certificate " + std::to_string(id) + " in the store");
    return CvelCertificate::make(certificateFromDer(row->der), row->id);
}

X509Owner CvelPKI::certificateOf(ISMCertificate* certificate) {
    if (certificate == nullptr) failWith(E_INVALIDARG, "no certificate");
    if (const auto own = CvelCertificate::own(certificate)) {
        checkSsl(X509_up_ref(own->certificate()), "keeping the certificate");
        return X509Owner(own->certificate());
    }
    return certificateFromDer(foreignDer(certificate));
}

std::int64_t CvelPKI::storedIdOf(ISMCertificate* certificate) {
    const X509Owner owned = certificateOf(certificate);
    const std::optional<std::int64_t> id = store().certificateId(certificateDer(owned.get()));
    if (!id) failWith(E_INVALIDARG, "the certificate is not in the store");
    return *id;
}

velcom::ComPtr<ISMCertificate> CvelPKI::certificateWithId(LONG id) {
    return velcom::ComPtr<ISMCertificate>(storedCertificate(id).get());
}

void CvelPKI::markRevoked(std::int64_t id) { store().markRevoked(id); }

bool CvelPKI::deleteStored(std::int64_t id) { return store().remove(id); }
