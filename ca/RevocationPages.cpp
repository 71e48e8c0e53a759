// Revoking a certificate, asking for one's state and fetching the revocation list.
#include "ca/Dialogue.h"
#include "ca/DialogueFields.h"

namespace ca {
namespace {

// The states "-cert_state" reports.
enum CertificateState { kStateUnknown = 0, kStateValid = 1, kStateRevoked = 2, kStateExpired = 3 };

}  // namespace

std::vector<CertificateRecord> Dialogue::revocable(const Applicant& applicant) {
    std::vector<CertificateRecord> certificates;
    for (CertificateRecord& certificate : m_store.certificatesOf(applicant.id))
        if (!certificate.revokedAt && certificate.notAfter > m_clock())
            certificates.push_back(std::move(certificate));
    return certificates;
}

CertificateRecord Dialogue::ownCertificate(const Applicant& applicant,
                                           const std::string& serialText) {
    const std::optional<std::string> serial = normalSerial(serialText);
    std::optional<CertificateRecord> certificate =
        serial ? m_store.certificate(*serial) : std::nullopt;
    if (!certificate || certificate->applicant != applicant.id)
        throw Refusal(kNoCertificate, "no such certificate of this applicant");
    if (certificate->revokedAt) throw Refusal(kNoCertificate, "the certificate is already revoked");
    return *certificate;
}

Page Dialogue::revocationStart(const Applicant& applicant) {
    const std::vector<CertificateRecord> certificates = revocable(applicant);
    if (certificates.empty())
        throw Refusal(kNoCertificate, "you have no valid certificate to revoke");
    if (certificates.size() == 1)
        return {"",
                "RevokeCertificate",
                kStatusSuccess,
                "confirm the revocation of certificate " + certificates.front().serial,
                {{"-serial_nr", certificates.front().serial}, {kLanguageField, kLanguage}},
                actionTo(applicant, Operation::RevocationConfirm)};
    std::vector<std::string> serials;
    for (const CertificateRecord& certificate : certificates) serials.push_back(certificate.serial);
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "choose the certificate to revoke",
            {{"-serial_list", joinList(serials)}, {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::RevocationSelect)};
}

Page Dialogue::revocationSelect(const Applicant& applicant, const Fields& fields) {
    const std::optional<std::string> serial =
        entryAt(fieldOf(fields, "-serial_list"), fieldOf(fields, "-ident_cert_nr"));
    if (!serial) throw Refusal(kNoCertificate, "no certificate at the chosen position");
    const CertificateRecord certificate = ownCertificate(applicant, *serial);
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "confirm the revocation of certificate " + certificate.serial,
            {{"-serial_nr", certificate.serial}, {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::RevocationConfirm)};
}

Page Dialogue::revocationConfirm(const Applicant& applicant, const Fields& fields) {
    const CertificateRecord certificate = ownCertificate(applicant, fieldOf(fields, "-serial_nr"));
    Transaction transaction(m_store.database());
    m_store.revoke(certificate.serial, m_clock());
    transaction.commit();
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "certificate " + certificate.serial + " is revoked",
            {{"-serial_nr", certificate.serial}, {kLanguageField, kLanguage}},
            std::nullopt};
}

Page Dialogue::checkState(const Fields& fields) {
    const std::optional<std::string> serial = normalSerial(fieldOf(fields, "-serial"));
    const std::optional<CertificateRecord> certificate =
        serial ? m_store.certificate(*serial) : std::nullopt;
    int state = kStateUnknown;
    std::string message = "this authority issued no such certificate";
    if (certificate && certificate->revokedAt) {
        state = kStateRevoked;
        message = "the certificate is revoked";
    } else if (certificate && certificate->notAfter <= m_clock()) {
        state = kStateExpired;
        message = "the certificate has expired";
    } else if (certificate) {
        state = kStateValid;
        message = "the certificate is valid";
    }
    return {"",
            "CheckCertificate",
            kStatusSuccess,
            message,
            {{"-cert_state", std::to_string(state), "NUMBER"},
             {"-serial", certificate ? certificate->serial : "", "TEXT"},
             {kLanguageField, kLanguage}},
            std::nullopt};
}

Page Dialogue::crlFetch() {
    return {"",
            "CRLDownload",
            kStatusSuccess,
            "the current revocation list",
            {{"crl", encodeBase64(issueRevocationList(m_store, m_authority, m_clock())), "X.509",
              true}},
            std::nullopt};
}

}  // namespace ca
