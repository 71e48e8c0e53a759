// What each subcommand of tessera-ca does; main.cpp only parses the command line.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "ca/ApplicantData.h"
#include "ca/Listing.h"
#include "ca/Server.h"

namespace ca {

// Prints each file it made and the CA certificate's fingerprint.
void initAuthority(const std::filesystem::path& directory, std::ostream& out,
                   const std::vector<std::string>& hosts = kDefaultHosts);
// Serves until SIGINT or SIGTERM; the first lines on `out` name the ports.
void serve(const std::filesystem::path& directory, const ServerOptions& options, std::ostream& out);
// Prints the applicant's start address, password and the CA certificate's fingerprint.
void addApplicant(const std::filesystem::path& directory, const ApplicantData& data,
                  std::ostream& out);
// Prints the fingerprint line of addApplicant alone.
void printFingerprint(const std::filesystem::path& directory, std::ostream& out);
void list(const std::filesystem::path& directory, const ListOptions& options, std::ostream& out);
// Gives the applicant a new password and prints it; the old one stops working.
void newApplicantPassword(const std::filesystem::path& directory, const std::string& id,
                          std::ostream& out);
void approve(const std::filesystem::path& directory, const std::string& reference,
             std::ostream& out);
// `reason` is the CRLReason code of RFC 5280 the revocation list gives.
void revoke(const std::filesystem::path& directory, const std::string& serial, int reason,
            std::ostream& out);

}  // namespace ca
