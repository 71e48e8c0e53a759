#include "ca/Secrets.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "ca/OpenSslHandles.h"

namespace ca {
namespace {

constexpr int kHashIterations = 100000;
constexpr std::size_t kHashBytes = 32;
// No letters that read alike (l, 1, O, 0), so a password copied by hand survives.
constexpr std::string_view kPasswordAlphabet = "abcdefghijkmnpqrstuvwxyz23456789";
constexpr std::size_t kPasswordLength = 12;

std::string randomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    checked(RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)),
            "random");
    return bytes;
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char byte : bytes) {
        hex += kDigits[(static_cast<unsigned char>(byte) >> 4) & 0xF];
        hex += kDigits[static_cast<unsigned char>(byte) & 0xF];
    }
    return hex;
}

std::string randomHex(std::size_t count) { return hexOf(randomBytes(count)); }

}  // namespace

std::string newToken() { return randomHex(16); }

std::string tokenHash(std::string_view token) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    checked(EVP_Digest(token.data(), token.size(), digest, &length, EVP_sha256(), nullptr),
            "token hash");
    return hexOf(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string newChallenge() { return randomHex(12); }

std::string newPassword() {
    std::string password;
    for (const char byte : randomBytes(kPasswordLength))
        password += kPasswordAlphabet[static_cast<unsigned char>(byte) % kPasswordAlphabet.size()];
    return password;
}

std::string newSalt() { return randomBytes(16); }

std::string passwordHash(std::string_view password, std::string_view salt) {
    std::string hash(kHashBytes, '\0');
    checked(PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                              reinterpret_cast<const unsigned char*>(salt.data()),
                              static_cast<int>(salt.size()), kHashIterations, EVP_sha256(),
                              static_cast<int>(hash.size()),
                              reinterpret_cast<unsigned char*>(hash.data())),
            "password hash");
    return hash;
}

bool passwordMatches(const Applicant& applicant, std::string_view password) {
    const std::string hash = passwordHash(password, applicant.salt);
    return hash.size() == applicant.passwordHash.size() &&
           CRYPTO_memcmp(hash.data(), applicant.passwordHash.data(), hash.size()) == 0;
}

}  // namespace ca
