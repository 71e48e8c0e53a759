// Certificates and revocation lists in files as users and authorities hand them out: PEM with any
// number of blocks, or the DER of one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "CryptOwners.h"

struct CertificatesAndLists {
    std::vector<CertContext> certificates;
    std::vector<CrlContext> lists;
};

// The certificates and revocation lists of the file in their order, each PEM block read by its
// content whatever its label, PKCS#7 bundles opened, as the Linux component reads them.
// Failures: the system's for a file it cannot read; E_INVALIDARG for broken Base64, a block or
// DER file that holds none of these (a key, garbage), or a file without either.
CertificatesAndLists readCertificatesAndLists(const std::filesystem::path& path);
// The same from bytes in memory; source names them in failures.
CertificatesAndLists certificatesAndListsOf(std::string_view bytes, const std::string& source);
// The certificate as a PEM block with lines of 64 characters ending in "\n", as OpenSSL writes it.
std::string certificatePem(PCCERT_CONTEXT certificate);
// A PEM block of that label around the bytes.
std::string pemBlock(std::string_view label, std::string_view der);
// The text, as it is, in place of the file's content at once (see writeFileAtomically).
void writeTextFile(const std::filesystem::path& path, std::string_view text);
