// What the component keeps of the user's keys, open requests and certificates beside the system's
// own stores, under HKEY_CURRENT_USER\Software\velTesseraComm\PKI, so that a pick-up after a
// restart finds its request and a certificate keeps its ID:
//   Keys\<container>            Salt, Digest: the key's password digest
//   Requests\<reference>        Container, PublicKey (DER SubjectPublicKeyInfo)
//   Certificates\<id>           Hash (SHA-1 in CurrentUser\My), Container when the key is ours,
//                               Revoked (1 once revoked)
//   NextId, TrustAnchor (the anchor's DER)
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "PasswordCheck.h"

struct OpenRequest {
    std::string reference;
    std::string container;
    std::string publicKey;
};

struct CertificateRecord {
    long id = 0;
    std::string hash;
    std::string container;
    bool revoked = false;
};

namespace pkiRegistry {

void keepKeyPassword(const std::string& container, const PasswordDigest& digest);
std::optional<PasswordDigest> keyPassword(const std::string& container);
void forgetKeyPassword(const std::string& container);

void addRequest(const OpenRequest& request);
std::vector<OpenRequest> openRequests();
// False when no request is open under that reference.
bool removeRequest(const std::string& reference);

// The record with the next ID, which it returns.
long addCertificate(CertificateRecord record);
std::optional<CertificateRecord> certificate(long id);
std::optional<CertificateRecord> certificateWithHash(const std::string& hash);
std::vector<CertificateRecord> certificates();
void markRevoked(long id);
// False when there is no record of that ID.
bool removeCertificate(long id);

std::optional<std::string> trustAnchor();
void setTrustAnchor(const std::string& der);

}  // namespace pkiRegistry
