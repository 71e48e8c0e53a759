#include "ca/Commands.h"

#include <signal.h>

#include <charconv>
#include <ctime>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "ca/Secrets.h"

namespace ca {
namespace {

namespace fs = std::filesystem;

void requireAuthority(const fs::path& directory) {
    if (!fs::exists(directory / kCaKeyFile))
        throw std::runtime_error("no authority in " + directory.string() + " (run init first)");
}

std::int64_t numberOf(const std::string& what, const std::string& text) {
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw std::runtime_error(what + " " + text + " is not a number");
    return number;
}

// Read before anything changes, so that an unreadable CA certificate leaves the state as it was.
std::string fingerprintLine(const fs::path& directory) {
    return "fingerprint " + fingerprintOf(caCertificateIn(directory).get());
}

// The address of the last server, which the server itself names in what it issues.
std::string httpBaseOf(Store& store) {
    return "http://127.0.0.1:" + store.setting(kPortSetting).value_or(std::to_string(kDefaultPort));
}

}  // namespace

void initAuthority(const fs::path& directory, std::ostream& out,
                   const std::vector<std::string>& hosts) {
    Authority::create(directory, std::time(nullptr), hosts);
    Store store(directory);
    for (const char* file :
         {kCaCertificateFile, kCaKeyFile, kTlsCertificateFile, kTlsKeyFile, Store::kFileName})
        out << "made " << (directory / file).string() << '\n';
    out << fingerprintLine(directory) << std::endl;
}

void serve(const fs::path& directory, const ServerOptions& options, std::ostream& out) {
    requireAuthority(directory);
    // The signals are taken by sigwait below, not by whichever server thread they would hit.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Server server(directory, options, std::cerr);
    const Ports ports = server.bind();
    out << "port " << ports.http << "\ntls-port " << ports.https << std::endl;
    std::thread serving([&server] { server.run(); });
    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    serving.join();
}

void addApplicant(const fs::path& directory, const ApplicantData& data, std::ostream& out) {
    requireAuthority(directory);
    requireApplicantData(data);
    const std::string fingerprint = fingerprintLine(directory);
    Store store(directory);
    const std::string password = newPassword();
    Applicant applicant{0,        newToken(),   data.first, data.last, data.email,
                        data.org, data.country, newSalt(),  {}};
    applicant.passwordHash = passwordHash(password, applicant.salt);
    Transaction transaction(store.database());
    store.addApplicant(applicant);
    const std::string port = store.setting(kPortSetting).value_or(std::to_string(kDefaultPort));
    const std::string host = store.setting(kHostSetting).value_or(kDefaultBind);
    transaction.commit();
    out << "start http://" << host << ":" << port << "/a/" << applicant.token << "/start\n"
        << "password " << password << '\n'
        << fingerprint << std::endl;
}

void printFingerprint(const fs::path& directory, std::ostream& out) {
    requireAuthority(directory);
    out << fingerprintLine(directory) << std::endl;
}

void list(const fs::path& directory, const ListOptions& options, std::ostream& out) {
    requireAuthority(directory);
    if (options.pending && options.what != Listed::Requests)
        throw std::runtime_error("--pending lists requests alone");
    Store store(directory);
    writeListing(store, options, std::time(nullptr), out);
}

void newApplicantPassword(const fs::path& directory, const std::string& id, std::ostream& out) {
    requireAuthority(directory);
    const std::int64_t applicant = numberOf("the applicant", id);
    Store store(directory);
    const std::string password = newPassword(), salt = newSalt();
    Transaction transaction(store.database());
    if (!store.setPassword(applicant, salt, passwordHash(password, salt)))
        throw std::runtime_error("no applicant " + id);
    transaction.commit();
    out << "password " << password << std::endl;
}

void approve(const fs::path& directory, const std::string& reference, std::ostream& out) {
    requireAuthority(directory);
    const std::int64_t ref = numberOf("the reference", reference);
    Store store(directory);
    const Authority authority(directory);
    Transaction transaction(store.database());
    const std::optional<RequestRecord> request = store.request(ref);
    if (!request) throw std::runtime_error("no request " + reference);
    if (request->serial)
        throw std::runtime_error("request " + reference + " is already issued as " +
                                 *request->serial);
    const std::string serial =
        issueCertificate(store, authority, *store.applicant(request->applicant), *request,
                         std::time(nullptr), httpBaseOf(store));
    transaction.commit();
    out << "issued " << serial << std::endl;
}

void revoke(const fs::path& directory, const std::string& serialText, int reason,
            std::ostream& out) {
    requireAuthority(directory);
    const std::optional<std::string> serial = normalSerial(serialText);
    if (!serial) throw std::runtime_error("the serial " + serialText + " is not hexadecimal");
    Store store(directory);
    Transaction transaction(store.database());
    const std::optional<CertificateRecord> certificate = store.certificate(*serial);
    if (!certificate) throw std::runtime_error("no certificate " + *serial);
    if (certificate->revokedAt)
        throw std::runtime_error("certificate " + *serial + " is already revoked");
    store.revoke(*serial, std::time(nullptr), reason);
    transaction.commit();
    out << "revoked " << *serial << std::endl;
}

}  // namespace ca
