// A tessera-ca of our own in a directory: its commands run as child processes, and its server
// listens on free loopback ports until stopped (or until the object goes).
#pragma once

#include <memory>
#include <string>

#include "ChildProcess.h"

struct Applicant {
    std::string path;  // the start page's path, /a/TOKEN/start: the same on every port
    std::string password;
    std::string fingerprint;  // of the authority's certificate, "SHA256:..."; empty if not printed
};

class LocalAuthority {
public:
    LocalAuthority(std::string program, std::string directory, bool verbose);

    void init();
    // Starts the server (stopping one that runs); approval manual leaves applications pending.
    void serve(bool manualApproval);
    void stop();
    Applicant addApplicant(const std::string& first, const std::string& last,
                           const std::string& email);
    // The serial number of the certificate issued.
    std::string approve(const std::string& reference);
    void revoke(const std::string& serial);

    std::string startAddress(const Applicant& applicant) const;
    std::string caFile() const { return m_directory + "/ca.pem"; }
    // Where the server hands out its certificate (DER).
    std::string caAddress() const;

private:
    std::string command(std::vector<std::string> arguments);

    std::string m_program, m_directory;
    bool m_verbose;
    std::unique_ptr<ChildProcess> m_server;
    int m_port = 0;
};
