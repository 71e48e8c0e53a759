// An applicant's data as the operator gives it. It goes into certificates and, as it is, into the
// markup comments of the pages, so it is checked once, where it enters the state.
#pragma once

#include <string>

namespace ca {

struct ApplicantData {
    std::string first;
    std::string last;
    std::string email;
    std::string org;
    std::string country;
};

// Throws std::runtime_error naming the option and the rule it breaks: valid UTF-8 without
// control characters, "--", "<" or ">"; the X.520 upper bounds (common name "first last" and
// organisation 64 characters, mail address 128); a country of two letters A-Z.
void requireApplicantData(const ApplicantData& data);

}  // namespace ca
