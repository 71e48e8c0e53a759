// A certificate as the user's store or a loaded file gives it; ID is 0 for one the component has
// not stored.
#pragma once

#include <string>

#include "CertificateAutomation.h"
#include "CryptOwners.h"

class CvelCertificate final : public CertificateAutomation<CvelCertificate> {
    friend class CertificateAutomation<CvelCertificate>;

public:
    CvelCertificate(CertContext certificate, long id);

    PCCERT_CONTEXT certificate() const { return m_certificate.get(); }
    long id() const { return m_id; }

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
    DWORD keyBits() const;
    bool rsaKey() const;
    std::string commonName() const;

    CertContext m_certificate;
    long m_id;
};
