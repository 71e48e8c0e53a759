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

// Texts that go into certificates and one-line page values.
void requireText(const std::string& what, const std::string& text) {
    if (text.empty()) throw std::runtime_error(what + " must not be empty");
    for (const char character : text)
        if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F)
            throw std::runtime_error(what + " must not hold control characters");
    if (text.find("-->") != std::string::npos)
        throw std::runtime_error(what + " must not hold -->");
}

void requireApplicantData(const ApplicantData& data) {
    requireText("--first", data.first);
    requireText("--last", data.last);
    requireText("--email", data.email);
    requireText("--org", data.org);
    requireText("--country", data.country);
    if (data.email.find('@') == std::string::npos || data.email.find(',') != std::string::npos)
        throw std::runtime_error("--email must be one mail address");
    if (data.country.size() != 2 || !std::isalpha(static_cast<unsigned char>(data.country[0])) ||
        !std::isalpha(static_cast<unsigned char>(data.country[1])))
        throw std::runtime_error("--country must be a two-letter country code");
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

void initAuthority(const fs::path& directory) {
    Authority::create(directory, std::time(nullptr));
    Store store(directory);
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
    transaction.commit();
    out << "start http://127.0.0.1:" << port << "/a/" << applicant.token << "/start\n"
        << "password " << password << '\n'
        << fingerprint << std::endl;
}

void printFingerprint(const fs::path& directory, std::ostream& out) {
    requireAuthority(directory);
    out << fingerprintLine(directory) << std::endl;
}

void approve(const fs::path& directory, const std::string& reference, std::ostream& out) {
    requireAuthority(directory);
    std::int64_t ref = 0;
    const auto [end, error] =
        std::from_chars(reference.data(), reference.data() + reference.size(), ref);
    if (reference.empty() || error != std::errc() || end != reference.data() + reference.size())
        throw std::runtime_error("the reference " + reference + " is not a number");
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
