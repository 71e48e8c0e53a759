// Applying for a certificate and picking it up.
#include <charconv>

#include "ca/Dialogue.h"
#include "ca/DialogueFields.h"

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

}  // namespace

Page Dialogue::application(const Applicant& applicant) {
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
             {"-challenge", newChallengeFor(applicant)}},
            actionTo(applicant, Operation::Submission)};
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
    std::vector<std::string> references, flags;
    for (const RequestRecord& request : m_store.requestsOf(applicant.id)) {
        references.push_back(std::to_string(request.ref));
        flags.push_back(pickUpFlag(request));
    }
    return {"",
            "PickUpCertificate",
            kStatusSuccess,
            references.empty() ? "you have made no requests" : "your requests",
            {{"-reference_list", joinList(references)},
             {"-abhol_list", joinList(flags)},
             {kLanguageField, kLanguage}},
            actionTo(applicant, Operation::PickUpFetch)};
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
