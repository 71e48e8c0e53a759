// The applicants' secrets: the path token of their start address and their password, which
// the state keeps only as a salted hash.
#pragma once

#include <string>
#include <string_view>

#include "ca/Store.h"

namespace ca {

std::string newToken();
std::string newChallenge();
std::string newPassword();
std::string newSalt();
std::string passwordHash(std::string_view password, std::string_view salt);
bool passwordMatches(const Applicant& applicant, std::string_view password);

}  // namespace ca
