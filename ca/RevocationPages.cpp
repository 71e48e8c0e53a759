// Revoking a certificate, asking for one's state and fetching the revocation list.
#include "ca/Dialogue.h"
#include "ca/DialogueFields.h"
#include "ca/PageParts.h"
#include "ca/Server.h"
#include "ca/Wording.h"

namespace ca {
namespace {

// The states "-cert_state" reports.
enum CertificateState { kStateUnknown = 0, kStateValid = 1, kStateRevoked = 2, kStateExpired = 3 };

std::vector<std::string> cellsOf(const Facts& facts) {
    std::vector<std::string> cells;
    for (const auto& [label, value] : facts) cells.push_back(value);
    return cells;
}

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

// A person chooses from a table even when there is one certificate, and confirms on the next page.
Page Dialogue::revocationStart(const Applicant& applicant) {
    const std::vector<CertificateRecord> certificates = revocable(applicant);
    if (certificates.empty())
        throw Refusal(kNoCertificate, "you have no valid certificate to revoke");
    const Wording& words = wordingOf(m_language);
    std::vector<std::string> serials;
    for (const CertificateRecord& certificate : certificates) serials.push_back(certificate.serial);
    std::vector<Row> rows;
    for (const CertificateRecord& certificate : certificates)
        rows.push_back(
            {cellsOf(certificateFacts(words, certificate)),
             formTo(applicant, Operation::RevocationSelect, words.revokeButton,
                    {{Input::Kind::Hidden, "-serial_list", joinList(serials)},
                     {Input::Kind::Hidden, "-ident_cert_nr", std::to_string(rows.size())}})});
    const std::string body =
        Html()
            .paragraph(words.revocationIntro)
            .table({words.serial, words.subject, words.validFrom, words.validUntil, ""}, rows)
            .text();
    if (certificates.size() == 1)
        return {"",
                "RevokeCertificate",
                kStatusSuccess,
                "confirm the revocation of certificate " + certificates.front().serial,
                {{"-serial_nr", certificates.front().serial}, {kLanguageField, kLanguage}},
                actionTo(applicant, Operation::RevocationConfirm),
                m_language,
                body};
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "choose the certificate to revoke",
            {{"-serial_list", joinList(serials)}, {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::RevocationSelect),
            m_language,
            body};
}

Page Dialogue::revocationSelect(const Applicant& applicant, const Fields& fields) {
    const std::optional<std::string> serial =
        entryAt(fieldOf(fields, "-serial_list"), fieldOf(fields, "-ident_cert_nr"));
    if (!serial) throw Refusal(kNoCertificate, "no certificate at the chosen position");
    const CertificateRecord certificate = ownCertificate(applicant, *serial);
    const Wording& words = wordingOf(m_language);
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "confirm the revocation of certificate " + certificate.serial,
            {{"-serial_nr", certificate.serial}, {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::RevocationConfirm),
            m_language,
            Html()
                .paragraph(words.confirmIntro)
                .facts(certificateFacts(words, certificate))
                .form(formTo(applicant, Operation::RevocationConfirm, words.confirmButton,
                             {{Input::Kind::Hidden, "-serial_nr", certificate.serial}}))
                .text()};
}

Page Dialogue::revocationConfirm(const Applicant& applicant, const Fields& fields) {
    const CertificateRecord certificate = ownCertificate(applicant, fieldOf(fields, "-serial_nr"));
    Transaction transaction(m_store.database());
    m_store.revoke(certificate.serial, m_clock());
    transaction.commit();
    const Wording& words = wordingOf(m_language);
    return {"",
            "RevokeCertificate",
            kStatusSuccess,
            "certificate " + certificate.serial + " is revoked",
            {{"-serial_nr", certificate.serial}, {kLanguageField, kLanguage}},
            std::nullopt,
            m_language,
            Html().paragraph(words.revokedNow).facts(certificateFacts(words, certificate)).text()};
}

Page Dialogue::checkStart(const Applicant& applicant) {
    Html html;
    checkForm(html, applicant);
    return {"",
            "CheckCertificate",
            kStatusSuccess,
            "name the certificate by its serial",
            {{kLanguageField, kLanguage}},
            actionTo(applicant, Operation::CheckState),
            m_language,
            html.text()};
}

void Dialogue::checkForm(Html& html, const Applicant& applicant) const {
    const Wording& words = wordingOf(m_language);
    html.paragraph(words.checkIntro)
        .form(formTo(applicant, Operation::CheckState, words.checkButton,
                     {{Input::Kind::Text, "-serial", "", words.serial}}));
}

// The serial a person sees is the stored one, never what was typed.
Page Dialogue::checkState(const Applicant& applicant, const Fields& fields) {
    const Wording& words = wordingOf(m_language);
    const std::optional<std::string> serial = normalSerial(fieldOf(fields, "-serial"));
    const std::optional<CertificateRecord> certificate =
        serial ? m_store.certificate(*serial) : std::nullopt;
    int state = kStateUnknown;
    std::string message = "this authority issued no such certificate";
    const char* said = words.stateUnknown;
    if (certificate && certificate->revokedAt) {
        state = kStateRevoked;
        message = "the certificate is revoked";
        said = words.stateRevoked;
    } else if (certificate && certificate->notAfter <= m_clock()) {
        state = kStateExpired;
        message = "the certificate has expired";
        said = words.stateExpired;
    } else if (certificate) {
        state = kStateValid;
        message = "the certificate is valid";
        said = words.stateValid;
    }
    Html html;
    html.paragraph(said);
    if (certificate) html.facts(certificateFacts(words, *certificate));
    checkForm(html, applicant);
    return {"",
            "CheckCertificate",
            kStatusSuccess,
            message,
            {{"-cert_state", std::to_string(state), "NUMBER"},
             {"-serial", certificate ? certificate->serial : "", "TEXT"},
             {kLanguageField, kLanguage}},
            std::nullopt,
            m_language,
            html.text()};
}

Page Dialogue::crlStart(const Applicant& applicant) {
    const Wording& words = wordingOf(m_language);
    return {"",
            "CRLDownload",
            kStatusSuccess,
            "",
            {{kLanguageField, kLanguage}, {"-crl_format", "X.509"}},
            actionTo(applicant, Operation::CrlFetch),
            m_language,
            Html()
                .paragraph(words.crlIntro)
                .links({{kCrlAddress, words.crlDer, "", "revocation-list.crl"},
                        {kCaDerAddress, words.caDer, "", "tessera-ca.crt"},
                        {kCaPemAddress, words.caPem, "", "tessera-ca.pem"}})
                .facts({{words.caFingerprint, fingerprintOf(m_authority.certificate())}})
                .form(formTo(applicant, Operation::CrlFetch, words.crlPemButton))
                .text()};
}

Page Dialogue::crlFetch() {
    const Wording& words = wordingOf(m_language);
    const std::string list = issueRevocationList(m_store, m_authority, m_clock());
    const std::string pem = pemText("X509 CRL", list);
    return {"",
            "CRLDownload",
            kStatusSuccess,
            "the current revocation list",
            {{"crl", encodeBase64(list), "X.509", true}},
            std::nullopt,
            m_language,
            Html()
                .paragraph(words.crlPemIntro)
                .preformatted(pem)
                .links({{dataAddress("application/x-pem-file", pem), words.downloadCrl, "",
                         "revocation-list.pem"},
                        {kCrlAddress, words.crlDer, "", "revocation-list.crl"}})
                .text()};
}

}  // namespace ca
