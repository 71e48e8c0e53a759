// The texts of a certificate as the component shows them on every system.
#pragma once

#include <string>

#include "CryptOwners.h"

// Upper-case hexadecimal without separators or leading zeros ("51D75C5F11CB5CA").
std::string serialText(PCCERT_CONTEXT certificate);
std::string serialText(const CRYPT_INTEGER_BLOB& serial);
// RFC 2253 form, the last relative name first ("CN=Alice,O=Example").
std::string nameText(const CERT_NAME_BLOB& name);
// The first of the subject's attributes of that OID; empty when it has none.
std::string subjectAttribute(PCCERT_CONTEXT certificate, const char* oid);
// "YYYY-MM-DD HH:MM:SS" in UTC.
std::string timeText(const FILETIME& time);
bool isAuthority(PCCERT_CONTEXT certificate);
bool isSelfSigned(PCCERT_CONTEXT certificate);
