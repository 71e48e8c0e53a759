// What several pages show a person: an applicant's data, a certificate's, and PEM texts.
#pragma once

#include <string>
#include <string_view>

#include "ca/Html.h"
#include "ca/Store.h"
#include "ca/Wording.h"

namespace ca {

Facts applicantFacts(const Wording& words, const Applicant& applicant);
// Serial, subject and validity, read from the certificate itself.
Facts certificateFacts(const Wording& words, const CertificateRecord& certificate);
// `der` as PEM under `label` ("CERTIFICATE", "PKCS7", "X509 CRL").
std::string pemText(std::string_view label, std::string_view der);
// A link target that holds the bytes themselves, for a download without another request.
std::string dataAddress(std::string_view type, std::string_view bytes);

}  // namespace ca
