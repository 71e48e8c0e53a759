// The subcommands, each a conversation of its own with the authority (or with the store alone).
// Each prints what it did on out and raises CommandFailure when it fails.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "CommandFailure.h"
#include "Session.h"

struct RequestOutcome {
    LONG certificateId = -1;       // -1 while the certificate is not issued
    std::string pendingReference;  // the open request it waits under
};

RequestOutcome requestCertificate(Settings& settings, bool acceptTerms, std::ostream& out);
// The certificates of the store's open requests, or of the one named; returns the last one picked
// up, -1 when none was.
LONG pickUpCertificate(Settings& settings, std::ostream& out, const std::string& reference = {});
void revokeCertificate(Settings& settings, LONG id, std::ostream& out);
// -1 when the authority took the renewal and has not issued it yet.
LONG renewCertificate(Settings& settings, LONG id, bool acceptTerms, std::ostream& out);
// Renews each valid certificate that ends within days; Done also when none is due.
ExitCode renewDueCertificates(Settings& settings, int days, bool acceptTerms, std::ostream& out);
// "valid", "revoked", "expired" or "unknown", as the authority answers.
std::string checkCertificate(Settings& settings, LONG id, std::ostream& out);
// The serial numbers the authority's revocation list names.
std::vector<std::string> updateRevocationList(Settings& settings, std::ostream& out);
void listStore(Settings& settings, std::ostream& out);

// The authority's certificate from a file or an http(s) address becomes the trust anchor when its
// fingerprint is the one given.
void trustAuthority(Settings& settings, const std::string& source, const std::string& fingerprint,
                    std::ostream& out);
void showCertificate(Settings& settings, LONG id, std::ostream& out);
struct ExportTargets {
    std::string p12, cert, key;  // the files to write; empty: not wanted
    std::string exportPasswordFile;
    bool chain = false, unencryptedKey = false, force = false;
};
void exportCertificate(Settings& settings, LONG id, const ExportTargets& targets,
                       std::ostream& out);
struct ForgetTarget {
    LONG id = -1;
    std::string reference;  // not empty: the open request, else certificate id
    bool yes = false;
};
void forget(Settings& settings, const ForgetTarget& target, std::ostream& out);
