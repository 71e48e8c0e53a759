#include "ClientKey.h"

#include <fstream>
#include <iterator>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "CurlFailures.h"
#include "TransportOptions.h"

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

// Hands OpenSSL the password given, and nothing when none was: an encrypted key then fails
// instead of asking on the terminal.
int givePassword(char* buffer, int size, int, void* context) {
    const auto* password = static_cast<const std::string*>(context);
    if (password == nullptr || password->size() > static_cast<std::size_t>(size)) return -1;
    password->copy(buffer, password->size());
    return static_cast<int>(password->size());
}

std::string lastOpenSslReason() {
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    const char* reason = ERR_reason_error_string(error);
    return reason != nullptr ? reason : "not a PEM private key";
}

void cleanse(std::string& secret) {
    OPENSSL_cleanse(secret.data(), secret.size());
    secret.clear();
}

}  // namespace

ClientKey::~ClientKey() { forget(); }

void ClientKey::forget() {
    cleanse(m_fileBytes);
    cleanse(m_password);
    cleanse(m_pem);
}

const std::string& ClientKey::unlocked(const TransportOptions& options, const std::string& host,
                                       long port) {
    const auto failure = [&](const std::string& reason) {
        return curlFailure(CURLE_SSL_CERTPROBLEM, host, port, reason);
    };
    std::ifstream file(options.strKeyFile, std::ios::binary);
    if (!file.is_open()) throw failure("cannot read the key file");
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    static const std::string kNone;
    const std::string& password = options.bHasKeyPassword ? options.strKeyPassword : kNone;
    if (!m_pem.empty() && bytes == m_fileBytes && password == m_password) {
        cleanse(bytes);
        return m_pem;
    }
    forget();
    const std::unique_ptr<BIO, BioFree> encrypted(
        BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    const std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_bio_PrivateKey(
        encrypted.get(), nullptr, givePassword,
        const_cast<std::string*>(options.bHasKeyPassword ? &password : nullptr)));
    if (!key) {
        cleanse(bytes);
        throw failure(lastOpenSslReason());
    }
    const std::unique_ptr<BIO, BioFree> plain(BIO_new(BIO_s_secmem()));
    if (!plain || PEM_write_bio_PrivateKey(plain.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                           nullptr) != 1)
        throw failure(lastOpenSslReason());
    char* data = nullptr;
    const long length = BIO_get_mem_data(plain.get(), &data);
    m_pem.assign(data, static_cast<std::size_t>(length));
    m_fileBytes = std::move(bytes);
    m_password = password;
    return m_pem;
}
