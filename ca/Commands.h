// What each subcommand of tessera-ca does; main.cpp only parses the command line.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "ca/Server.h"

namespace ca {

struct ApplicantData {
    std::string first;
    std::string last;
    std::string email;
    std::string org;
    std::string country;
};

void initAuthority(const std::filesystem::path& directory);
// Serves until SIGINT or SIGTERM; the first lines on `out` name the ports.
void serve(const std::filesystem::path& directory, const ServerOptions& options, std::ostream& out);
// Prints the applicant's start address, password and the CA certificate's fingerprint.
void addApplicant(const std::filesystem::path& directory, const ApplicantData& data,
                  std::ostream& out);
// Prints the fingerprint line of addApplicant alone.
void printFingerprint(const std::filesystem::path& directory, std::ostream& out);
void approve(const std::filesystem::path& directory, const std::string& reference,
             std::ostream& out);
// `reason` is the CRLReason code of RFC 5280 the revocation list gives.
void revoke(const std::filesystem::path& directory, const std::string& serial, int reason,
            std::ostream& out);

}  // namespace ca
