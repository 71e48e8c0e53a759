// Renewing a certificate over TLS, authenticated by the certificate it replaces. A renewal so
// authenticated is issued at once, whatever the approval of new applications.
#include "ca/Dialogue.h"
#include "ca/DialogueFields.h"
#include "ca/PageParts.h"
#include "ca/Wording.h"

namespace ca {

CertificateRecord Dialogue::authenticated(const Applicant& applicant, const Inbound& inbound) {
    if (!inbound.clientCertificate)
        throw Refusal(kClientCertificateRefused,
                      "a renewal needs the old certificate as TLS client certificate");
    const CertificatePtr presented = certificateFromDer(*inbound.clientCertificate);
    if (!presented || !m_authority.signedThis(presented.get()))
        throw Refusal(kClientCertificateRefused, "the client certificate is not one of ours");
    const std::string serial = serialOf(presented.get());

    const std::optional<CertificateRecord> certificate = m_store.certificate(serial);
    if (!certificate || certificate->der != *inbound.clientCertificate ||
        certificate->applicant != applicant.id)
        throw Refusal(kClientCertificateRefused,
                      "the client certificate does not belong to this applicant");
    if (certificate->revokedAt)
        throw Refusal(kClientCertificateRefused, "the client certificate is revoked");
    if (certificate->notAfter <= m_clock())
        throw Refusal(kClientCertificateRefused, "the client certificate has expired");
    return *certificate;
}

Page Dialogue::renewalStart(const Applicant& applicant, const Inbound& inbound) {
    const CertificateRecord certificate = authenticated(applicant, inbound);
    const std::optional<std::string> sent = decodeBase64(fieldOf(inbound.fields, "CLIENT_CERT"));
    if (!sent || *sent != certificate.der)
        throw Refusal(kClientCertificateRefused,
                      "CLIENT_CERT is not the certificate the TLS client presented");
    const Wording& words = wordingOf(m_language);
    const std::string challenge = newChallengeFor(applicant);
    Html html;
    html.paragraph(words.renewalIntro).facts(applicantFacts(words, applicant));
    keyRequestForm(html, applicant, challenge, Operation::RenewalSubmission);
    return {"",
            "RenewCertificate",
            kStatusSuccess,
            "renewal of certificate " + certificate.serial,
            {{kLanguageField, kLanguage},
             {"-ident-org_country", applicant.country},
             {"-ident-org_name", applicant.org},
             {"-ident-extn_email", applicant.email},
             {"-ident-email_flag", "1", "BOOL"},
             {"-ident-org_unit1", ""},
             {"-ident-common_name", applicant.first + " " + applicant.last},
             {"-ident-ku_vname", applicant.first},
             {"-ident-ku_nname", applicant.last},
             {"-ident-email", applicant.email},
             {"-challenge", challenge}},
            actionTo(applicant, Operation::RenewalSubmission),
            m_language,
            html.text()};
}

Page Dialogue::renewalSubmission(const Applicant& applicant, const Inbound& inbound) {
    authenticated(applicant, inbound);
    Page page = submitKeyRequest(applicant, inbound.fields, true);
    page.result = "RenewCertificate";
    return page;
}

}  // namespace ca
