// Bytes and texts of OpenSSL objects: DER, Base64, PEM, names, serials, times.
#pragma once

#include <string>
#include <string_view>

#include "Base64.h"
#include "OpenSslOwners.h"

inline void freeOpenSslText(char* text) { OPENSSL_free(text); }
inline void freeOpenSslBytes(unsigned char* bytes) { OPENSSL_free(bytes); }

// What was written into a memory BIO.
std::string bioText(BIO* bio);

std::string certificateDer(X509* certificate);
std::string revocationListDer(X509_CRL* list);
X509Owner certificateFromDer(const std::string& der);
CrlOwner revocationListFromDer(const std::string& der);

std::string certificatePem(X509* certificate);
// A serial number as the authority writes it: upper-case hexadecimal without separators or
// leading zeros ("51D75C5F11CB5CA").
std::string serialText(const ASN1_INTEGER* serial);
std::string serialText(X509* certificate);
// RFC 2253 form ("CN=Alice,O=Example").
std::string nameText(const X509_NAME* name);
// The first common name of the subject; empty when it has none.
std::string commonNameOf(const X509_NAME* name);
std::string emailOf(X509* certificate);
// "YYYY-MM-DD HH:MM:SS" in UTC.
std::string timeText(const ASN1_TIME* time);
