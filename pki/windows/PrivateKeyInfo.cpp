#include "PrivateKeyInfo.h"

#include <algorithm>

#include "CngPrimitives.h"
#include "DerWriter.h"
#include "SystemFailure.h"

namespace {

constexpr const char* kRsaEncryption = "1.2.840.113549.1.1.1";
constexpr const char* kPbes2 = "1.2.840.113549.1.5.13";
constexpr const char* kPbkdf2 = "1.2.840.113549.1.5.12";
constexpr const char* kHmacWithSha256 = "1.2.840.113549.2.9";
constexpr const char* kAes256Cbc = "2.16.840.1.101.3.4.1.42";

// The blob's next little-endian number of that many bytes as a DER INTEGER.
std::string takeInteger(std::string_view& blob, size_t length) {
    if (blob.size() < length) throw PkiFailure(E_FAIL, "the exported key blob is too short");
    SecretBytes bigEndian{std::string(blob.substr(0, length))};
    std::reverse(bigEndian.bytes.begin(), bigEndian.bytes.end());
    blob.remove_prefix(length);
    return der::unsignedInteger(bigEndian.bytes);
}

}  // namespace

SecretBytes privateKeyInfo(HCRYPTKEY key) {
    DWORD size = 0;
    checkSystem(CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &size), "exporting the key");
    SecretBytes exported{std::string(size, '\0')};
    std::string& blob = exported.bytes;
    checkSystem(
        CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size),
        "exporting the key");
    constexpr size_t kHeaders = sizeof(BLOBHEADER) + sizeof(RSAPUBKEY);
    if (size < kHeaders) throw PkiFailure(E_FAIL, "the exported key blob is too short");
    const auto* header = reinterpret_cast<const BLOBHEADER*>(blob.data());
    RSAPUBKEY rsa{};
    std::copy_n(blob.data() + sizeof(BLOBHEADER), sizeof rsa, reinterpret_cast<char*>(&rsa));
    if (header->aiKeyAlg != CALG_RSA_KEYX && header->aiKeyAlg != CALG_RSA_SIGN)
        throw PkiFailure(E_INVALIDARG, "only RSA keys can be written as PKCS#8 here");
    const size_t whole = rsa.bitlen / 8;
    const size_t half = rsa.bitlen / 16;
    std::string_view rest = std::string_view(blob).substr(kHeaders, size - kHeaders);
    // The blob's order: modulus, both primes, both exponents, the coefficient, the private
    // exponent; PKCS#1's: modulus, public and private exponent, primes, exponents, coefficient.
    SecretBytes parts[7];
    for (size_t index = 0; index < 7; ++index)
        parts[index].bytes = takeInteger(rest, index == 0 || index == 6 ? whole : half);
    const SecretBytes rsaKey{der::sequence(
        {der::integer(0), parts[0].bytes, der::integer(rsa.pubexp), parts[6].bytes, parts[1].bytes,
         parts[2].bytes, parts[3].bytes, parts[4].bytes, parts[5].bytes})};
    return {
        der::sequence({der::integer(0), der::sequence({der::objectId(kRsaEncryption), der::null()}),
                       der::octetString(rsaKey.bytes)})};
}

std::string encryptedPrivateKeyInfo(std::string_view privateKeyInfoDer, std::string_view password) {
    if (password.empty()) throw PkiFailure(E_INVALIDARG, "a key is not written without a password");
    const std::string salt = randomBytes(16);
    const std::string iv = randomBytes(16);
    const std::string key = pbkdf2Sha256(password, salt, kPasswordIterations, 32);
    const std::string derivation = der::sequence(
        {der::objectId(kPbkdf2),
         der::sequence({der::octetString(salt), der::integer(kPasswordIterations),
                        der::sequence({der::objectId(kHmacWithSha256), der::null()})})});
    const std::string scheme = der::sequence({der::objectId(kAes256Cbc), der::octetString(iv)});
    const std::string algorithm =
        der::sequence({der::objectId(kPbes2), der::sequence({derivation, scheme})});
    return der::sequence(
        {algorithm, der::octetString(aes256CbcEncrypt(key, iv, privateKeyInfoDer))});
}
