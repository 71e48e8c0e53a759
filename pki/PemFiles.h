// The PEM files the component reads and writes. A file may hold certificates and revocation
// lists in any order, each block labelled CERTIFICATE, X509 CRL, PKCS7 (a bundle of both) or
// otherwise: a block is read by what it holds, since a server's certificate may arrive under
// the label "X509 CRL".
#pragma once

#include <string>
#include <vector>

#include "OpenSslOwners.h"

struct PemContents {
    std::vector<X509Owner> certificates;
    std::vector<CrlOwner> revocationLists;
};

// Fails when the file cannot be read, holds no block, or a block that is none of the three.
PemContents readPemFile(const std::string& path);
// The first certificate of a PEM or DER file; E_INVALIDARG when it holds none.
X509Owner readOneCertificate(const std::string& path);
// Creates or truncates the file, readable and writable by its owner only.
void writeKeyMaterialFile(const std::string& path, const std::string& bytes);
