// Applying for a certificate and picking it up.
#include <charconv>

#include "ca/Dialogue.h"
#include "ca/DialogueFields.h"
#include "ca/PageParts.h"
#include "ca/Wording.h"

namespace ca {
namespace {

std::optional<std::int64_t> referenceOf(std::string_view text) {
    std::int64_t ref = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ref);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return ref;
}

// The pick-up flag of a request: "0" issued and not fetched yet, "1" fetched, "2" pending.
std::string pickUpFlag(const RequestRecord& request) {
    if (!request.serial) return "2";
    return request.fetched ? "1" : "0";
}

const char* stateOf(const RequestRecord& request, const Wording& words) {
    if (!request.serial) return words.statePending;
    return request.fetched ? words.stateFetched : words.stateIssued;
}

}  // namespace

Page Dialogue::application(const Applicant& applicant) {
    const Wording& words = wordingOf(m_language);
    const std::string challenge = newChallengeFor(applicant);
    Html html;
    html.paragraph(words.applicationIntro).facts(applicantFacts(words, applicant));
    keyRequestForm(html, applicant, challenge, Operation::Submission);
    return {"",
            "CreateCertificate",
            kStatusSuccess,
            "please confirm the data of your certificate",
            {{"-ident-org_country", applicant.country},
             {"-ident-org_name", applicant.org},
             {"-ident-ku_vname", applicant.first},
             {"-ident-ku_nname", applicant.last},
             {"-ident-TO_ku-nr", std::to_string(applicant.id), "NUMBER"},
             {"-ident-extn_email", applicant.email},
             {"-ident-email_flag", "1", "BOOL"},
             {kLanguageField, kLanguage},
             {"-challenge", challenge}},
            actionTo(applicant, Operation::Submission),
            m_language,
            html.text()};
}

void Dialogue::keyRequestForm(Html& html, const Applicant& applicant, const std::string& challenge,
                              Operation target) const {
    const Wording& words = wordingOf(m_language);
    const bool application = target == Operation::Submission;
    std::vector<Input> inputs;
    if (application)
        inputs.push_back({Input::Kind::Password, "-ident-TO_passwd", "", words.password});
    inputs.push_back({Input::Kind::TextArea, "-key_challenge", "", words.keyRequest});
    inputs.push_back({Input::Kind::Checkbox, "-ident_check_AGB", "", words.terms});
    html.heading(words.keyRequestHeading)
        .paragraph(words.keyRequestHowTo)
        .preformatted(
            "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out key.pem\n"
            "openssl spkac -key key.pem -digest sha256 -challenge " +
            challenge)
        .paragraph(words.nextSteps)
        .form(formTo(applicant, target, application ? words.sendApplication : words.sendRenewal,
                     std::move(inputs)));
}

Page Dialogue::submission(const Applicant& applicant, const Fields& fields, Lock& lock) {
    checkPassword(applicant, fieldOf(fields, "-ident-TO_passwd"), lock);
    return submitKeyRequest(applicant, fields, m_approval == Approval::Automatic);
}

Page Dialogue::fetch(const Applicant& applicant, const Fields& fields) {
    const std::optional<std::int64_t> ref = referenceOf(fieldOf(fields, "SUFFIX_NR"));
    if (!ref) throw Refusal(kUnknownReference, "the request's reference is missing");
    return certificatePage(applicant, *ref, fields);
}

Page Dialogue::pickUpList(const Applicant& applicant) {
    const Wording& words = wordingOf(m_language);
    std::vector<std::string> references, flags;
    std::vector<Row> rows;
    for (const RequestRecord& request : m_store.requestsOf(applicant.id)) {
        // The fetch names a request by its place in the list, as the client does.
        Row row{{std::to_string(request.ref), stateOf(request, words)}};
        if (request.serial)
            row.form = formTo(
                applicant, Operation::PickUpFetch, words.pickUpButton,
                {{Input::Kind::Hidden, "-ident_cert_nr", std::to_string(references.size())}});
        rows.push_back(std::move(row));
        references.push_back(std::to_string(request.ref));
        flags.push_back(pickUpFlag(request));
    }
    Html html;
    if (rows.empty())
        html.paragraph(words.noRequests);
    else
        html.paragraph(words.requestsIntro).table({words.reference, words.state, ""}, rows);
    return {"",
            "PickUpCertificate",
            kStatusSuccess,
            references.empty() ? "you have made no requests" : "your requests",
            {{"-reference_list", joinList(references)},
             {"-abhol_list", joinList(flags)},
             {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::PickUpFetch),
            m_language,
            html.text()};
}

Page Dialogue::pickUpFetch(const Applicant& applicant, const Fields& fields) {
    std::string list = fieldOf(fields, "-reference_list");
    if (list.empty()) {
        std::vector<std::string> references;
        for (const RequestRecord& request : m_store.requestsOf(applicant.id))
            references.push_back(std::to_string(request.ref));
        list = joinList(references);
    }
    const std::optional<std::string> entry = entryAt(list, fieldOf(fields, "-ident_cert_nr"));
    const std::optional<std::int64_t> ref = entry ? referenceOf(*entry) : std::nullopt;
    if (!ref) throw Refusal(kUnknownReference, "no request at the chosen position");
    return certificatePage(applicant, *ref, fields);
}

}  // namespace ca
