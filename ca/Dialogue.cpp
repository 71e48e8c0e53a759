#include "ca/Dialogue.h"

#include <algorithm>
#include <iostream>

#include "ca/DialogueFields.h"
#include "ca/KeyRequest.h"
#include "ca/PageParts.h"
#include "ca/Secrets.h"
#include "ca/Wording.h"

namespace ca {
namespace {

constexpr std::time_t kCertificateLifetime = 365 * 24 * 60 * 60;
// Wrong passwords an applicant may try at full speed; after them, one try per back-off period
// until a right one.
constexpr int kFreePasswordTries = 5;
constexpr std::int64_t kPasswordBackOff = 10;

// Releases a held lock for its lifetime.
class Unlocked {
public:
    explicit Unlocked(std::unique_lock<std::mutex>& lock) : m_lock(lock) { m_lock.unlock(); }
    ~Unlocked() { m_lock.lock(); }
    Unlocked(const Unlocked&) = delete;
    Unlocked& operator=(const Unlocked&) = delete;

private:
    std::unique_lock<std::mutex>& m_lock;
};

const char* titleOf(Operation operation, const Wording& words) {
    switch (operation) {
        case Operation::Start:
            return words.startTitle;
        case Operation::Application:
            return words.applicationTitle;
        case Operation::Submission:
            return words.submissionTitle;
        case Operation::Fetch:
        case Operation::PickUpFetch:
            return words.certificateTitle;
        case Operation::PickUpList:
            return words.pickUpTitle;
        case Operation::RevocationStart:
        case Operation::RevocationSelect:
        case Operation::RevocationConfirm:
            return words.revocationTitle;
        case Operation::RenewalStart:
        case Operation::RenewalSubmission:
            return words.renewalTitle;
        case Operation::CheckStart:
        case Operation::CheckState:
            return words.checkTitle;
        case Operation::CrlStart:
        case Operation::CrlFetch:
            return words.crlTitle;
    }
    return words.refusalTitle;
}

const char* reasonOf(int status, const Wording& words) {
    switch (status) {
        case kUnknownApplicant:
            return words.unknownApplicant;
        case kWrongPassword:
            return words.wrongPassword;
        case kTermsNotAccepted:
            return words.termsNotAccepted;
        case kBadKeyRequest:
            return words.badKeyRequest;
        case kUnknownReference:
            return words.unknownReference;
        case kAwaitingApproval:
            return words.awaitingApproval;
        case kNoCertificate:
            return words.noCertificate;
        case kClientCertificateRefused:
            return words.clientCertificateRefused;
    }
    return words.internalError;
}

// The reason in the page's words, its number, and the authority's own text, which is English.
std::string refusalBody(const Page& refusal, const Wording& words) {
    return Html()
        .paragraph(reasonOf(refusal.status, words))
        .facts({{words.refusalNumber, std::to_string(refusal.status)}})
        .paragraph(std::string(words.refusalDetail) + " " + refusal.message, "en")
        .text();
}

constexpr const char* kFormatField = "-cert_format";

const char* nameOf(CertificateFormat format) {
    return format == CertificateFormat::Pkcs7 ? "PKCS#7" : "X.509";
}

// The form's format, which the client copies from the submission's answer, when it names one.
CertificateFormat formatFor(const Fields& fields, CertificateFormat fallback) {
    for (const CertificateFormat format : {CertificateFormat::Pkcs7, CertificateFormat::X509})
        if (fieldOf(fields, kFormatField) == nameOf(format)) return format;
    return fallback;
}

}  // namespace

Dialogue::Dialogue(Store& store, const Authority& authority, Endpoints endpoints, Approval approval,
                   CertificateFormat format, Clock clock)
    : m_store(store),
      m_authority(authority),
      m_endpoints(std::move(endpoints)),
      m_approval(approval),
      m_format(format),
      m_clock(std::move(clock)) {}

std::string Dialogue::answer(Operation operation, const Inbound& inbound) {
    const Language language =
        chooseLanguage(fieldOf(inbound.fields, kLanguageField), inbound.acceptLanguage);
    const Wording& words = wordingOf(language);
    Page refusal{words.refusalTitle, "refused", kInternalError, {}, {}, {}, language};
    Lock lock(m_mutex);
    m_language = language;
    try {
        return respond(operation, inbound, lock);
    } catch (const Refusal& refused) {
        refusal.status = refused.status;
        refusal.message = refused.what();
    } catch (const std::exception& error) {
        // The reason may quote what the request sent; it goes to the operator, not to the page.
        std::cerr << "tessera-ca: " << error.what() << '\n';
        refusal.message = "the authority could not answer";
    }
    refusal.body = refusalBody(refusal, words);
    return writePage(refusal);
}

std::string Dialogue::respond(Operation operation, const Inbound& inbound, Lock& lock) {
    const std::optional<Applicant> applicant = m_store.applicantByToken(inbound.token);
    if (!applicant) throw Refusal(kUnknownApplicant, "unknown applicant address");
    const Fields& fields = inbound.fields;
    m_overTls = inbound.overTls;

    Page page;
    switch (operation) {
        case Operation::Start:
            return startPage(*applicant);
        case Operation::Application:
            page = application(*applicant);
            break;
        case Operation::Submission:
            page = submission(*applicant, fields, lock);
            break;
        case Operation::Fetch:
            page = fetch(*applicant, fields);
            break;
        case Operation::PickUpList:
            page = pickUpList(*applicant);
            break;
        case Operation::PickUpFetch:
            page = pickUpFetch(*applicant, fields);
            break;
        case Operation::RevocationStart:
            page = revocationStart(*applicant);
            break;
        case Operation::RevocationSelect:
            page = revocationSelect(*applicant, fields);
            break;
        case Operation::RevocationConfirm:
            page = revocationConfirm(*applicant, fields);
            break;
        case Operation::RenewalStart:
            page = renewalStart(*applicant, inbound);
            break;
        case Operation::RenewalSubmission:
            page = renewalSubmission(*applicant, inbound);
            break;
        case Operation::CheckStart:
            page = checkStart(*applicant);
            break;
        case Operation::CheckState:
            page = checkState(*applicant, fields);
            break;
        case Operation::CrlStart:
            page = crlStart(*applicant);
            break;
        case Operation::CrlFetch:
            page = crlFetch();
            break;
    }
    const Wording& words = wordingOf(m_language);
    page.title = titleOf(operation, words);
    page.language = m_language;
    page.body += Html()
                     .links({{linkTo(*applicant, Operation::Start, m_language), words.backToStart}})
                     .text();
    return writePage(page);
}

std::string Dialogue::startPage(const Applicant& applicant) {
    const Wording& words = wordingOf(m_language);
    const Language other = m_language == Language::German ? Language::English : Language::German;
    const auto link = [&](Operation operation, const char* text, const char* note) {
        return Link{linkTo(applicant, operation, m_language), text, note};
    };
    Html html;
    html.paragraph(words.startIntro)
        .links({link(Operation::Application, words.applicationTitle, words.createNote),
                link(Operation::PickUpList, words.pickUpTitle, words.pickUpNote),
                link(Operation::RenewalStart, words.renewalTitle, words.renewNote),
                link(Operation::RevocationStart, words.revocationTitle, words.revokeNote),
                link(Operation::CrlStart, words.crlTitle, words.crlNote),
                link(Operation::CheckStart, words.checkTitle, words.checkNote)})
        .links({{linkTo(applicant, Operation::Start, other), words.otherLanguage}});
    return writeStartPage(
        {address(applicant, Operation::Application), address(applicant, Operation::PickUpList),
         address(applicant, Operation::RenewalStart),
         address(applicant, Operation::RevocationStart), address(applicant, Operation::CrlStart),
         address(applicant, Operation::CheckStart)},
        m_language, words.startTitle, html.text());
}

std::string Dialogue::address(const Applicant& applicant, Operation operation) const {
    const bool secure = m_overTls || operation == Operation::RenewalStart ||
                        operation == Operation::RenewalSubmission;
    for (const Route& route : kRoutes)
        if (route.operation == operation)
            return (secure ? m_endpoints.https : m_endpoints.http) + "/a/" + applicant.token + "/" +
                   route.path;
    throw std::logic_error("operation without a route");
}

PageAction Dialogue::actionTo(const Applicant& applicant, Operation operation) const {
    for (const Route& route : kRoutes)
        if (route.operation == operation) return {route.path, address(applicant, operation), true};
    throw std::logic_error("operation without a route");
}

std::string Dialogue::linkTo(const Applicant& applicant, Operation operation,
                             Language language) const {
    return address(applicant, operation) + "?" + kLanguageField + "=" + codeOf(language);
}

Form Dialogue::formTo(const Applicant& applicant, Operation operation, std::string button,
                      std::vector<Input> inputs) const {
    inputs.push_back({Input::Kind::Hidden, kLanguageField, codeOf(m_language)});
    return {address(applicant, operation), std::move(button), std::move(inputs)};
}

std::string Dialogue::newChallengeFor(const Applicant& applicant) {
    const std::string challenge = newChallenge();
    Transaction transaction(m_store.database());
    m_store.addChallenge(applicant.id, challenge, m_clock());
    transaction.commit();
    return challenge;
}

void Dialogue::checkPassword(const Applicant& applicant, std::string_view password, Lock& lock) {
    const std::int64_t now = m_clock();
    PasswordFailures failures = m_store.passwordFailures(applicant.id);
    if (now < failures.nextTry)
        throw Refusal(kWrongPassword, "too many wrong passwords; try again in " +
                                          std::to_string(failures.nextTry - now) + " s");
    if (failures.count >= kFreePasswordTries) {
        // The try is counted before the hash, so that parallel tries share one slot.
        Transaction transaction(m_store.database());
        m_store.setPasswordFailures(applicant.id, {failures.count, now + kPasswordBackOff});
        transaction.commit();
    }
    bool matches = false;
    // Other requests are answered while the lock is released, each setting its own scheme and
    // language.
    const bool overTls = m_overTls;
    const Language language = m_language;
    {
        const Unlocked unlocked(lock);
        matches = passwordMatches(applicant, password);
    }
    m_overTls = overTls;
    m_language = language;
    Transaction transaction(m_store.database());
    failures = m_store.passwordFailures(applicant.id);
    if (matches) {
        failures = {};
    } else if (++failures.count >= kFreePasswordTries) {
        failures.nextTry = std::max(failures.nextTry, now + kPasswordBackOff);
    }
    m_store.setPasswordFailures(applicant.id, failures);
    transaction.commit();
    if (!matches) throw Refusal(kWrongPassword, "wrong password");
}

Page Dialogue::submitKeyRequest(const Applicant& applicant, const Fields& fields, bool issueNow) {
    if (!accepted(fieldOf(fields, "-ident_check_AGB")))
        throw Refusal(kTermsNotAccepted, "the terms and conditions were not accepted");
    const std::optional<KeyRequest> request = readKeyRequest(fieldOf(fields, "-key_challenge"));
    if (!request)
        throw Refusal(kBadKeyRequest, "the key request is missing, unreadable or badly signed");
    if (request->refusal) throw Refusal(kBadKeyRequest, *request->refusal);
    const std::string publicKey = publicKeyDer(request->publicKey.get());

    Transaction transaction(m_store.database());
    // One key, one holder: a certificate must name the one person who can use its key.
    if (m_store.keyOfAnother(applicant.id, publicKey))
        throw Refusal(kBadKeyRequest, "the public key is already another applicant's");
    if (!m_store.takeChallenge(applicant.id, request->challenge, m_clock()))
        throw Refusal(kBadKeyRequest, "the key request answers no challenge of this authority");
    const std::int64_t ref = m_store.addRequest(applicant.id, publicKey);
    if (issueNow)
        issueCertificate(m_store, m_authority, applicant, *m_store.request(ref), m_clock(),
                         m_endpoints.http);
    transaction.commit();

    const std::string reference = std::to_string(ref);
    const Wording& words = wordingOf(m_language);
    Html html;
    html.facts({{words.reference, reference},
                {words.state, issueNow ? words.stateIssued : words.statePending}});
    if (issueNow)
        html.form(formTo(applicant, Operation::Fetch, words.pickUpButton,
                         {{Input::Kind::Hidden, "SUFFIX_NR", reference}}));
    return {"",
            "CreateCertificate",
            kStatusSuccess,
            issueNow ? "request " + reference + " received, the certificate is issued"
                     : "request " + reference + " received, it awaits approval",
            {{"-refnum", reference, "NUMBER"},
             {kFormatField, nameOf(m_format)},
             {kLanguageField, kLanguage},
             {"USER_NR", std::to_string(applicant.id), "NUMBER"},
             {"SUFFIX_NR", reference, "NUMBER"},
             {"EMAIL_ADR", applicant.email}},
            actionTo(applicant, Operation::Fetch),
            m_language,
            html.text()};
}

Page Dialogue::certificatePage(const Applicant& applicant, std::int64_t ref, const Fields& fields) {
    const std::optional<RequestRecord> request = m_store.request(ref);
    if (!request || request->applicant != applicant.id)
        throw Refusal(kUnknownReference, "no such request of this applicant");
    if (!request->serial)
        throw Refusal(kAwaitingApproval, "the request awaits approval; pick it up later");
    const std::optional<CertificateRecord> certificate = m_store.certificate(*request->serial);
    PageParam issued{"cert", encodeBase64(certificate->der), "", true};
    std::string der = certificate->der;
    const bool chained = formatFor(fields, m_format) == CertificateFormat::Pkcs7;
    if (chained) {
        const CertificatePtr parsed =
            checked(certificateFromDer(certificate->der), "stored certificate");
        der = m_authority.chainOf(parsed.get());
        issued = {"cert", encodeBase64(der), "PKCS#7", true};
    }
    const Wording& words = wordingOf(m_language);
    Facts facts = certificateFacts(words, *certificate);
    facts.insert(facts.begin(), {words.reference, std::to_string(request->ref)});
    Html html;
    html.paragraph(words.certificateIntro)
        .facts(facts)
        .preformatted(pemText(chained ? "PKCS7" : "CERTIFICATE", der))
        .links({{dataAddress(chained ? "application/pkcs7-mime" : "application/pkix-cert", der),
                 words.downloadCertificate, "", chained ? "certificate.p7b" : "certificate.crt"}});
    // Marked only once the answer is made: an answer that failed leaves it to pick up.
    Transaction transaction(m_store.database());
    m_store.markFetched(certificate->serial);
    transaction.commit();
    return {"",
            "Certificate",
            kStatusSuccess,
            "certificate " + certificate->serial,
            {{"-refnum", std::to_string(request->ref), "NUMBER"},
             {"-serial_nr", certificate->serial},
             std::move(issued)},
            std::nullopt,
            m_language,
            html.text()};
}

std::string issueCertificate(Store& store, const Authority& authority, const Applicant& applicant,
                             const RequestRecord& request, std::time_t now,
                             const std::string& httpBase) {
    std::string serial = newSerial();
    while (store.certificate(serial)) serial = newSerial();
    const KeyPtr key = publicKeyFromDer(request.publicKey);
    const CertificatePtr certificate =
        authority.issue(applicant, key.get(), serial, now, now + kCertificateLifetime, httpBase);
    store.addCertificate({serial, request.ref, applicant.id, derOf(certificate.get()),
                          now + kCertificateLifetime, false, std::nullopt});
    return serial;
}

std::string issueRevocationList(Store& store, const Authority& authority, std::time_t now) {
    Transaction transaction(store.database());
    std::string list = authority.revocationList(store.revocations(), store.nextCrlNumber(), now);
    transaction.commit();
    return list;
}

}  // namespace ca
