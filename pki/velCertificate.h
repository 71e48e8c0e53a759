// A certificate as the store or a loaded file gives it; ID is 0 for one not in the store.
#pragma once

#include <cstdint>
#include <string>

#include "CertificateAutomation.h"
#include "OpenSslOwners.h"

class CvelCertificate final : public CertificateAutomation<CvelCertificate> {
    friend class CertificateAutomation<CvelCertificate>;

public:
    CvelCertificate(X509Owner certificate, std::int64_t id);

    X509* certificate() const { return m_certificate.get(); }
    std::int64_t id() const { return m_id; }

private:
    std::string serialNumber() const;
    std::string mailAddress() const;
    std::string issuerName() const;
    std::string subjectName() const;
    std::string digestBytes(DigestAlgo algorithm) const;
    Validity validity() const;
    std::string notBeforeText() const;
    std::string notAfterText() const;
    bool authority() const;
    bool selfSigned() const;
    std::string derBytes() const;
    int keyBits() const;
    bool rsaKey() const;
    std::string commonName() const;

    X509Owner m_certificate;
    std::int64_t m_id;
};

// -1 expired, 0 valid, 1 not yet valid at this moment.
Validity validityNow(const ASN1_TIME* notBefore, const ASN1_TIME* notAfter);
