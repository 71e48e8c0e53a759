// The user's own certificate stores: CurrentUser\My for certificates with their keys (linked to
// the key's container, so that the system's TLS and the transport find the key), CurrentUser\CA
// for authorities and revocation lists.
#pragma once

#include <string>
#include <vector>

#include "CryptOwners.h"

enum class UserStore { My, CA };

CertStore openUserStore(UserStore which);
// The certificate of that SHA-1 hash in My or CA; null when neither holds it.
CertContext storedCertificate(const std::string& hash);
// Adds the certificate to My, its key property naming the container.
void storeWithKey(PCCERT_CONTEXT certificate, const std::string& container);
void storeAuthority(PCCERT_CONTEXT certificate);
// Adds the revocation list to CA, in place of an older one of its issuer.
void storeRevocationList(PCCRL_CONTEXT list);
std::vector<CrlContext> storedRevocationLists();
// Removes the certificate of that hash from My and CA.
void removeStored(const std::string& hash);
