// tessera-ca: the reference certificate authority. Exit status 0 on success, 1 when a command
// fails (the reason on standard error), CLI11's own codes for a command line it cannot parse.
#include <iostream>
#include <map>

#include <CLI/CLI.hpp>

#include "ca/Commands.h"

int main(int argc, char** argv) {
    CLI::App app("tessera-ca: a reference certificate authority for the Tessera dialogue");
    app.require_subcommand(1);
    std::string directory;

    std::vector<std::string> hosts;
    CLI::App* init = app.add_subcommand(
        "init", "make the CA key and certificate in DIR; prints the files and the fingerprint");
    init->add_option("DIR", directory, "the authority's directory")->required();
    init->add_option("--host", hosts,
                     "a host name or IP address the TLS certificate names, repeatable "
                     "(default: localhost and 127.0.0.1)");

    ca::ServerOptions options;
    CLI::App* serve = app.add_subcommand("serve", "serve the pages until SIGINT or SIGTERM");
    serve->add_option("DIR", directory, "the authority's directory")->required();
    serve->add_option("--bind", options.bind, "the address to listen on")->capture_default_str();
    serve->add_option("--host", options.host,
                      "the host the addresses handed out name (default: the bind address, or "
                      "for 0.0.0.0 and :: the TLS certificate's first host)");
    serve->add_option("--port", options.port, "HTTP port, 0 for a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve->add_option("--tls-port", options.tlsPort, "HTTPS port, 0 for a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve->add_option("--approve", options.approval, "issue new applications at once or on approve")
        ->transform(CLI::CheckedTransformer(std::map<std::string, ca::Approval>{
            {"auto", ca::Approval::Automatic}, {"manual", ca::Approval::Manual}}));
    serve
        ->add_option("--cert-format", options.format,
                     "pkcs7 (the default): an issued certificate with the CA certificate as a "
                     "PKCS#7 chain; x509: the certificate alone")
        ->transform(CLI::CheckedTransformer(std::map<std::string, ca::CertificateFormat>{
            {"pkcs7", ca::CertificateFormat::Pkcs7}, {"x509", ca::CertificateFormat::X509}}));

    CLI::App* applicant = app.add_subcommand("applicant", "manage applicants");
    applicant->require_subcommand(1);
    ca::ApplicantData data;
    CLI::App* add = applicant->add_subcommand(
        "add", "add an applicant; prints the start address, password and CA fingerprint");
    add->add_option("DIR", directory, "the authority's directory")->required();
    add->add_option("--first", data.first, "first name")->required();
    add->add_option("--last", data.last, "last name")->required();
    add->add_option("--email", data.email, "mail address")->required();
    add->add_option("--org", data.org, "organisation")->required();
    add->add_option("--country", data.country, "two-letter country code")->required();

    std::string applicantId;
    CLI::App* password =
        applicant->add_subcommand("password", "give an applicant a new password; prints it once");
    password->add_option("DIR", directory, "the authority's directory")->required();
    password->add_option("ID", applicantId, "the applicant's number, as list shows it")->required();

    ca::ListOptions listed;
    CLI::App* list = app.add_subcommand("list", "list applicants, requests or certificates");
    list->add_option("DIR", directory, "the authority's directory")->required();
    list->add_option("WHAT", listed.what, "applicants, requests or certs")
        ->required()
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, ca::Listed>{{"applicants", ca::Listed::Applicants},
                                              {"requests", ca::Listed::Requests},
                                              {"certs", ca::Listed::Certificates}}));
    list->add_flag("--pending", listed.pending, "requests that await approval alone");
    list->add_flag("--json", listed.json, "a JSON array of objects");

    CLI::App* fingerprint =
        app.add_subcommand("fingerprint", "print the SHA-256 fingerprint of the CA certificate");
    fingerprint->add_option("DIR", directory, "the authority's directory")->required();

    std::string reference;
    CLI::App* approve = app.add_subcommand("approve", "issue the certificate of a pending request");
    approve->add_option("DIR", directory, "the authority's directory")->required();
    approve->add_option("REF", reference, "the request's reference number")->required();

    std::string serial;
    CLI::App* revoke = app.add_subcommand("revoke", "revoke a certificate");
    revoke->add_option("DIR", directory, "the authority's directory")->required();
    revoke->add_option("SERIAL", serial, "the certificate's serial number (hexadecimal)")
        ->required();
    // The reasons of RFC 5280 but removeFromCRL, which belongs to delta lists only.
    int reason = CRL_REASON_UNSPECIFIED;
    revoke->add_option("--reason", reason, "why, by its RFC 5280 name (default unspecified)")
        ->transform(CLI::CheckedTransformer(
            std::map<std::string, int>{{"unspecified", CRL_REASON_UNSPECIFIED},
                                       {"keyCompromise", CRL_REASON_KEY_COMPROMISE},
                                       {"cACompromise", CRL_REASON_CA_COMPROMISE},
                                       {"affiliationChanged", CRL_REASON_AFFILIATION_CHANGED},
                                       {"superseded", CRL_REASON_SUPERSEDED},
                                       {"cessationOfOperation", CRL_REASON_CESSATION_OF_OPERATION},
                                       {"certificateHold", CRL_REASON_CERTIFICATE_HOLD},
                                       {"privilegeWithdrawn", CRL_REASON_PRIVILEGE_WITHDRAWN},
                                       {"aACompromise", CRL_REASON_AA_COMPROMISE}}));

    CLI11_PARSE(app, argc, argv);
    try {
        if (*init)
            ca::initAuthority(directory, std::cout, hosts.empty() ? ca::kDefaultHosts : hosts);
        if (*serve) ca::serve(directory, options, std::cout);
        if (*add) ca::addApplicant(directory, data, std::cout);
        if (*password) ca::newApplicantPassword(directory, applicantId, std::cout);
        if (*list) ca::list(directory, listed, std::cout);
        if (*fingerprint) ca::printFingerprint(directory, std::cout);
        if (*approve) ca::approve(directory, reference, std::cout);
        if (*revoke) ca::revoke(directory, serial, reason, std::cout);
    } catch (const std::exception& error) {
        std::cerr << "tessera-ca: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
