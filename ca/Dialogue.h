// The pages of every operation, one answer per request. Bad input and refusals are answered
// with a page whose status is not 100 and whose message says why; nothing here throws to the
// caller. Answers may be asked for from several threads: they take turns on the state, and only
// the password hash runs beside the others.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "ca/Authority.h"
#include "ca/Html.h"
#include "ca/PageWriter.h"
#include "ca/Store.h"

namespace ca {

enum class Operation {
    Start,
    Application,
    Submission,
    Fetch,
    PickUpList,
    PickUpFetch,
    RevocationStart,
    RevocationSelect,
    RevocationConfirm,
    RenewalStart,
    RenewalSubmission,
    CheckStart,
    CheckState,
    CrlStart,
    CrlFetch,
};

// Every page lives under /a/TOKEN/ followed by its path.
struct Route {
    Operation operation;
    const char* path;
};
inline constexpr Route kRoutes[] = {
    {Operation::Start, "start"},
    {Operation::Application, "create"},
    {Operation::Submission, "submit"},
    {Operation::Fetch, "fetch"},
    {Operation::PickUpList, "pickup"},
    {Operation::PickUpFetch, "pickup/fetch"},
    {Operation::RevocationStart, "revoke"},
    {Operation::RevocationSelect, "revoke/select"},
    {Operation::RevocationConfirm, "revoke/confirm"},
    {Operation::RenewalStart, "renew"},
    {Operation::RenewalSubmission, "renew/submit"},
    {Operation::CheckStart, "check"},
    {Operation::CheckState, "check/state"},
    {Operation::CrlStart, "crl"},
    {Operation::CrlFetch, "crl/fetch"},
};

// The Status of each refusal.
enum Refused {
    kUnknownApplicant = 1,
    kWrongPassword = 2,
    kTermsNotAccepted = 3,
    kBadKeyRequest = 4,
    kUnknownReference = 5,
    kAwaitingApproval = 6,
    kNoCertificate = 7,
    kClientCertificateRefused = 8,
    kInternalError = 99,
};

enum class Approval { Automatic, Manual };

// How an issued certificate is answered: with the CA certificate as a PKCS#7 chain, or alone.
enum class CertificateFormat { Pkcs7, X509 };

using Fields = std::map<std::string, std::string>;

struct Inbound {
    std::string token;
    Fields fields;
    // The DER of the certificate the TLS client presented; none over plain HTTP.
    std::optional<std::string> clientCertificate;
    // Asked over HTTPS: the addresses handed out are HTTPS as well.
    bool overTls = false;
    // The browser's languages, which the pages follow unless the form names one.
    std::string acceptLanguage{};
};

// Where the server listens, as "http://127.0.0.1:8480" and "https://127.0.0.1:8443".
struct Endpoints {
    std::string http;
    std::string https;
};

using Clock = std::function<std::time_t()>;

class Dialogue {
public:
    Dialogue(
        Store& store, const Authority& authority, Endpoints endpoints, Approval approval,
        CertificateFormat format, Clock clock = [] { return std::time(nullptr); });

    std::string answer(Operation operation, const Inbound& inbound);

private:
    // A refusal: the page's status and message.
    struct Refusal : std::runtime_error {
        Refusal(int code, const std::string& text) : std::runtime_error(text), status(code) {}
        int status;
    };

    using Lock = std::unique_lock<std::mutex>;

    std::string respond(Operation operation, const Inbound& inbound, Lock& lock);

    Page application(const Applicant& applicant);
    Page submission(const Applicant& applicant, const Fields& fields, Lock& lock);
    // Refuses a wrong password, and any try while the applicant's back-off lasts; the hash is
    // computed with `lock` released.
    void checkPassword(const Applicant& applicant, std::string_view password, Lock& lock);
    Page fetch(const Applicant& applicant, const Fields& fields);
    Page pickUpList(const Applicant& applicant);
    Page pickUpFetch(const Applicant& applicant, const Fields& fields);
    Page revocationStart(const Applicant& applicant);
    Page revocationSelect(const Applicant& applicant, const Fields& fields);
    Page revocationConfirm(const Applicant& applicant, const Fields& fields);
    Page renewalStart(const Applicant& applicant, const Inbound& inbound);
    Page renewalSubmission(const Applicant& applicant, const Inbound& inbound);
    Page checkStart(const Applicant& applicant);
    Page checkState(const Applicant& applicant, const Fields& fields);
    Page crlStart(const Applicant& applicant);
    Page crlFetch();

    // The key request of a submission, checked against the applicant's open challenges; stored
    // as a new request, issued at once when `issueNow`. Answers with the reference.
    Page submitKeyRequest(const Applicant& applicant, const Fields& fields, bool issueNow);
    Page certificatePage(const Applicant& applicant, std::int64_t ref, const Fields& fields);
    std::string newChallengeFor(const Applicant& applicant);
    // The applicant's certificate that the TLS client presented, when it may renew.
    CertificateRecord authenticated(const Applicant& applicant, const Inbound& inbound);
    CertificateRecord ownCertificate(const Applicant& applicant, const std::string& serialText);
    std::vector<CertificateRecord> revocable(const Applicant& applicant);
    std::string startPage(const Applicant& applicant);
    // The form a person sends a key request with, to `target`; the application's asks for the
    // password as well.
    void keyRequestForm(Html& html, const Applicant& applicant, const std::string& challenge,
                        Operation target) const;
    // The box a person types a serial into, with what it is for.
    void checkForm(Html& html, const Applicant& applicant) const;

    // HTTPS for the renewal and for every page of a request that came over HTTPS.
    std::string address(const Applicant& applicant, Operation operation) const;
    PageAction actionTo(const Applicant& applicant, Operation operation) const;
    // The operation's address as a person's link, which keeps `language`.
    std::string linkTo(const Applicant& applicant, Operation operation, Language language) const;
    // A form to the operation's address that keeps the page's language.
    Form formTo(const Applicant& applicant, Operation operation, std::string button,
                std::vector<Input> inputs = {}) const;

    Store& m_store;
    const Authority& m_authority;
    Endpoints m_endpoints;
    Approval m_approval;
    CertificateFormat m_format;
    Clock m_clock;
    // Whether the request being answered came over HTTPS, and the language of its page.
    bool m_overTls = false;
    Language m_language = Language::English;
    std::mutex m_mutex;
};

// Issues the certificate of a pending request, as the server does at once and `approve` does
// later; returns its serial. The certificate points at `httpBase` (Authority::issue). The caller
// holds the transaction.
std::string issueCertificate(Store& store, const Authority& authority, const Applicant& applicant,
                             const RequestRecord& request, std::time_t now,
                             const std::string& httpBase);
// The DER of a new revocation list, numbered one above the last.
std::string issueRevocationList(Store& store, const Authority& authority, std::time_t now);

}  // namespace ca
