// tessera: the command line host of the component. Exit codes: see CommandFailure.h and README.
#include <cstdlib>
#include <functional>
#include <iostream>

#include <CLI/CLI.hpp>

#include "ComApartment.h"
#include "CommandFailure.h"
#include "Commands.h"
#include "Demo.h"
#include "Interruption.h"

namespace {

constexpr const char* kExitCodes =
    "exit codes:\n"
    "  0  done (check: valid; pickup: one picked up at least; renew --due: also none due)\n"
    "  1  the component, the store or a local file failed\n"
    "  2  the command line, the start address, a certificate number, a request reference or a\n"
    "     password cannot be used (also a wrong key password)\n"
    "  3  the authority refused; its Status and ErrorMessage are printed\n"
    "  4  not issued yet (the request waits under its reference), or nothing to pick up\n"
    "  5  the authority cannot be reached\n"
    "  6  check: the certificate is revoked, expired or unknown\n"
    "  7  demo: a step did not do what it should";

void addKeyType(CLI::App& command, std::string& keyType) {
    command
        .add_option("--key-type", keyType,
                    "the new key: rsa2048 (the default), rsa3072, rsa4096, ec-p256 or ec-p384")
        ->check(CLI::IsMember({"rsa2048", "rsa3072", "rsa4096", "ec-p256", "ec-p384"}));
}

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

int run(const std::function<ExitCode()>& command) {
    try {
        const ComApartment apartment;
        return static_cast<int>(command());
    } catch (const CommandFailure& failure) {
        std::cerr << "tessera: " << failure.what() << '\n';
        return static_cast<int>(failure.code());
    } catch (const std::exception& error) {
        std::cerr << "tessera: " << error.what() << '\n';
        return static_cast<int>(ExitCode::Failed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("tessera: apply for, pick up, revoke, renew and check certificates");
    app.require_subcommand(1);
    app.fallthrough();
    app.set_version_flag("--version", "tessera " VEL_TESSERA_VERSION);
    app.footer(kExitCodes);
    Settings settings;
    settings.startAddress = fromEnvironment("TESSERA_START");
    settings.storePath = fromEnvironment("TESSERA_STORE");
    std::string passwordFile, keyPasswordFile;
    app.add_option("--start", settings.startAddress,
                   "the authority's start address (or TESSERA_START)");
    app.add_option("--store", settings.storePath,
                   "the PKI store file (or TESSERA_STORE; default ~/.local/share/velpki/store.db)");
    app.add_option("--tmp", settings.temporaryDir,
                   "directory for the component's files (default: a private one, removed after)");
    app.add_option("--password-file", passwordFile,
                   "file whose first line is the applicant password (or TESSERA_PASSWORD)");
    app.add_option("--key-password-file", keyPasswordFile,
                   "file whose first line is the key password (or TESSERA_KEY_PASSWORD)");
    app.add_flag("-v,--verbose", settings.verbose, "print the component's trace lines");

    bool acceptTerms = false;
    LONG id = 0;
    int dueDays = -1;
    std::string reference;
    CLI::App* request = app.add_subcommand("request", "apply for a certificate for a new key");
    request->add_flag("--accept-terms", acceptTerms, "accept the authority's terms");
    addKeyType(*request, settings.keyType);
    CLI::App* pickup = app.add_subcommand(
        "pickup", "fetch the issued certificates of the open requests, or of request REF");
    pickup->add_option("REF", reference, "the open request's reference (tessera certs)");
    CLI::App* revoke = app.add_subcommand("revoke", "have the authority revoke a certificate");
    revoke->add_option("ID", id, "the certificate's number in the store (tessera certs)")
        ->required();
    CLI::App* renew = app.add_subcommand(
        "renew", "a new certificate in place of an old one, or of each one due (--due)");
    CLI::Option_group* renewWhich =
        renew->add_option_group("certificate", "the certificate to renew");
    renewWhich->add_option("ID", id, "the old certificate's number in the store");
    renewWhich
        ->add_option("--due", dueDays,
                     "renew every valid certificate of the store that ends within DAYS")
        ->check(CLI::NonNegativeNumber)
        ->type_name("DAYS");
    renewWhich->require_option(1);
    renew->add_flag("--accept-terms", acceptTerms, "accept the authority's terms");
    addKeyType(*renew, settings.keyType);
    CLI::App* check =
        app.add_subcommand("check", "ask the authority whether a certificate is valid");
    check->add_option("ID", id, "the certificate's number in the store")->required();
    check->add_flag("--json", settings.json, "print the answer as one JSON document");
    CLI::App* crl = app.add_subcommand("crl", "import the authority's revocation list");
    CLI::App* certs =
        app.add_subcommand("certs", "list the store's certificates and open requests");
    certs->add_flag("--json", settings.json, "print the list as one JSON document");
    std::string trustSource, fingerprint;
    CLI::App* trust = app.add_subcommand("trust", "trust the authority's certificate");
    trust->add_option("FILE|URL", trustSource, "its certificate: a file or an http(s) address")
        ->required();
    trust->add_option("--fingerprint", fingerprint,
                      "SHA256:... as the authority's operator gave it");
    CLI::App* show = app.add_subcommand("show", "show a certificate of the store in full");
    show->add_option("ID", id, "the certificate's number in the store")->required();
    show->add_flag("--json", settings.json, "print it as one JSON document");
    ExportTargets targets;
    CLI::App* exportCommand =
        app.add_subcommand("export", "write a certificate and its key for other programs");
    exportCommand->add_option("ID", id, "the certificate's number in the store")->required();
    exportCommand->add_option("--p12", targets.p12, "PKCS#12 file: key, certificate and chain");
    exportCommand->add_option("--export-password-file", targets.exportPasswordFile,
                              "file whose first line protects the PKCS#12 file "
                              "(or TESSERA_EXPORT_PASSWORD)");
    CLI::Option* certFile =
        exportCommand->add_option("--cert", targets.cert, "PEM file of the certificate");
    exportCommand->add_flag("--chain", targets.chain, "the issuers too, up to the trust anchor")
        ->needs(certFile);
    CLI::Option* keyFile = exportCommand->add_option(
        "--key", targets.key, "PEM file of the key, PKCS#8 under the key password");
    exportCommand->add_flag("--unencrypted-key", targets.unencryptedKey, "the key without password")
        ->needs(keyFile);
    exportCommand->add_flag("--force", targets.force, "replace files that exist");
    ForgetTarget forgotten;
    CLI::App* forgetCommand = app.add_subcommand(
        "forget", "remove a certificate (ID) or an open request (--request REF) with its key");
    CLI::Option* forgetId =
        forgetCommand->add_option("ID", forgotten.id, "the certificate's number in the store");
    forgetCommand->add_option("--request", forgotten.reference, "the open request's reference")
        ->excludes(forgetId);
    forgetCommand->add_flag("--yes", forgotten.yes, "do not ask");
    CLI::App* demo = app.add_subcommand(
        "demo", "run the whole story against a private tessera-ca on loopback ports");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : static_cast<int>(ExitCode::Usage);
    }
    if (!passwordFile.empty()) settings.applicantPassword.readFrom(passwordFile);
    if (!keyPasswordFile.empty()) settings.keyPassword.readFrom(keyPasswordFile);
    std::ostream& out = std::cout;
    const int status = run([&] {
        if (*request)
            return requestCertificate(settings, acceptTerms, out).certificateId < 0
                       ? ExitCode::NotIssued
                       : ExitCode::Done;
        if (*pickup)
            return pickUpCertificate(settings, out, reference) < 0 ? ExitCode::NotIssued
                                                                   : ExitCode::Done;
        if (*revoke) revokeCertificate(settings, id, out);
        if (*renew && dueDays >= 0)
            return renewDueCertificates(settings, dueDays, acceptTerms, out);
        if (*renew)
            return renewCertificate(settings, id, acceptTerms, out) < 0 ? ExitCode::NotIssued
                                                                        : ExitCode::Done;
        if (*check)
            return checkCertificate(settings, id, out) == "valid" ? ExitCode::Done
                                                                  : ExitCode::NotValid;
        if (*crl) updateRevocationList(settings, out);
        if (*certs) listStore(settings, out);
        if (*trust) trustAuthority(settings, trustSource, fingerprint, out);
        if (*show) showCertificate(settings, id, out);
        if (*exportCommand) exportCertificate(settings, id, targets, out);
        if (*forgetCommand) forget(settings, forgotten, out);
        if (*demo) return runDemo(settings.verbose, out);
        return ExitCode::Done;
    });
    endIfInterrupted();
    return status;
}
