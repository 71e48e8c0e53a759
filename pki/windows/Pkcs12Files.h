// A certificate with its private key, and the certificates above it, in a PKCS#12 file.
//
// Wine 8's PFXExportCertStoreEx is a stub that writes nothing, so the file is put together here
// from the system's pieces: the key exported by CryptoAPI and encrypted as for
// writeEncryptedKey, the certificates as they are, and an HMAC-SHA-256 over the whole keyed from
// the password as PKCS#12 derives it, which is what OpenSSL 3 writes and reads by default.
// Wine's PFXImportCertStore reads such files (it imports the certificate with its key only, not
// the certificates above it).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "CryptOwners.h"

// Writes the certificate, the exportable key it is linked to (CERT_KEY_PROV_INFO_PROP_ID) and the
// chain's certificates, at once, in place of any file of that path. E_INVALIDARG for an empty
// password; the system's failure (CRYPT_E_NO_KEY_PROPERTY) for a certificate without a linked
// key, or a key that will not be exported.
void exportPkcs12(const std::filesystem::path& path, PCCERT_CONTEXT certificate,
                  const std::string& password, const std::vector<PCCERT_CONTEXT>& chain);
// The file's certificates in a store in memory, their keys imported as exportable keys of the
// user, each certificate linked to its key. HRESULT_FROM_WIN32(ERROR_INVALID_PASSWORD) for a
// password that does not open it, E_INVALIDARG for a file that is not PKCS#12.
CertStore importPkcs12(const std::filesystem::path& path, const std::string& password);
