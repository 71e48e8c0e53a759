#include "ca/PageParts.h"

#include <openssl/x509.h>

#include "ca/Authority.h"
#include "ca/Base64.h"
#include "ca/Listing.h"

namespace ca {
namespace {

// The date alone: a person needs no seconds of a year-long validity.
std::string dateOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return "";
    return isoTime(timegm(&parts)).substr(0, 10);
}

std::string subjectOf(X509* certificate) {
    const BioPtr out(checked(BIO_new(BIO_s_mem()), "memory"));
    X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0,
                       XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ & ~ASN1_STRFLGS_ESC_MSB);
    char* text = nullptr;
    const long length = BIO_get_mem_data(out.get(), &text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : "";
}

}  // namespace

Facts applicantFacts(const Wording& words, const Applicant& applicant) {
    return {
        {words.firstName, applicant.first},  {words.lastName, applicant.last},
        {words.organisation, applicant.org}, {words.country, applicant.country},
        {words.email, applicant.email},      {words.applicantNumber, std::to_string(applicant.id)}};
}

Facts certificateFacts(const Wording& words, const CertificateRecord& record) {
    const CertificatePtr certificate =
        checked(certificateFromDer(record.der), "stored certificate");
    return {{words.serial, record.serial},
            {words.subject, subjectOf(certificate.get())},
            {words.validFrom, dateOf(X509_get0_notBefore(certificate.get()))},
            {words.validUntil, dateOf(X509_get0_notAfter(certificate.get()))}};
}

std::string pemText(std::string_view label, std::string_view der) {
    const std::string base64 = encodeBase64(der);
    std::string text = "-----BEGIN " + std::string(label) + "-----\n";
    for (std::size_t at = 0; at < base64.size(); at += 64) text += base64.substr(at, 64) + "\n";
    return text + "-----END " + std::string(label) + "-----\n";
}

std::string dataAddress(std::string_view type, std::string_view bytes) {
    return "data:" + std::string(type) + ";base64," + encodeBase64(bytes);
}

}  // namespace ca
