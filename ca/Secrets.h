// The applicants' secrets: the path token of their start address, which the state keeps only as
// its SHA-256 (the token alone revokes), and their password, kept only as a salted hash.
#pragma once

#include <string>
#include <string_view>

#include "ca/Store.h"

namespace ca {

std::string newToken();
// The lower-case hexadecimal SHA-256 under which the state keeps a token.
std::string tokenHash(std::string_view token);
std::string newChallenge();
std::string newPassword();
std::string newSalt();
std::string passwordHash(std::string_view password, std::string_view salt);
bool passwordMatches(const Applicant& applicant, std::string_view password);

}  // namespace ca
