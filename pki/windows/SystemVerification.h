// Whether the trust anchor vouches for a certificate or a revocation list, decided by the system's
// chain building and signature checks, with the results the Linux component gives.
#pragma once

#include <string>
#include <vector>

#include "CryptOwners.h"

// VELPKI_E_UNTRUSTED unless the certificate's chain, built from the extra certificates, reaches
// the anchor with every signature on the way valid. The system's roots play no part, and as on
// Linux a validity period does not: an expired certificate is a matter of its status.
void requireChainedToAnchor(PCCERT_CONTEXT certificate, PCCERT_CONTEXT anchor,
                            const std::vector<PCCERT_CONTEXT>& extra);
// VELPKI_E_UNTRUSTED for a list of another issuer, VELPKI_E_BAD_SIGNATURE when the anchor's key
// does not verify it, VELPKI_E_EXPIRED when it names no next update or that time has passed.
void requireListFromAnchor(PCCRL_CONTEXT list, PCCERT_CONTEXT anchor);
// Whether one of the lists of the certificate's issuer names its serial number.
bool isRevoked(PCCERT_CONTEXT certificate, const std::vector<PCCRL_CONTEXT>& lists);
// The 64 upper-case hexadecimal digits of the SHA-256 of the certificate's DER.
std::string sha256Fingerprint(PCCERT_CONTEXT certificate);
// The 64 upper-case digits of a fingerprint as a user writes it: "SHA256:" (optional, any case)
// and 64 hexadecimal digits in any case, colons between them allowed; E_INVALIDARG otherwise.
std::string parseFingerprint(const std::string& text);
